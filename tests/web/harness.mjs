// The page tests' harness: a JACK server, trv408-sim as a process of its own,
// webmidi-bridge, and headless Chromium whose pages get the Web MIDI
// stand-in (webmidi-standin.js) before their own scripts.
//
//   const session = await openPage({ sim: ["--cable"], standIn: { refuse: false }, url, context });
//     sim      trv408-sim's options besides --name and --api ("--cable",
//              "--fault", "no-answer", ...); null starts none
//     standIn  the stand-in's options: refuse, held, missing (see its file)
//     url      the page; a blank one on 127.0.0.1 when not given (Chromium lets
//              only a page on this machine reach the bridge)
//     context  playwright's options of the page's browser context (locale,
//              storageState, ...)
//   session.page                 playwright's Page
//   session.newPage(standIn, url, context)
//                                another page with other options, in a
//                                context of its own; one page at a time
//                                talks to the bridge (the newest)
//   session.sim                  { name, input, output, start(options), stop() }:
//                                input and output are the names of the
//                                simulator's ports as the page lists them
//                                (the page's output goes to `input`)
//   session.env                  the environment that reaches the JACK server,
//                                for other programs on it (ravlin-cli)
//   session.close()              ends all of it
// The programs are those that WEBMIDI_BRIDGE and TRV408_SIM name (CTest sets
// both), else those of build/. The JACK server is the one JACK_DEFAULT_SERVER
// names (the test script's), else one of the harness's own on the dummy
// driver, started as scripts/jack-server.sh starts it.

import { spawn, spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { once } from "node:events";
import { createServer } from "node:http";
import { chromium } from "playwright-core";

const repo = new URL("../../", import.meta.url).pathname;
const programs = {
  bridge:
    process.env.WEBMIDI_BRIDGE ??
    `${repo}build/tests/web/bridge/webmidi-bridge`,
  sim: process.env.TRV408_SIM ?? `${repo}build/src/simtool/trv408-sim`,
};
const standInSource = readFileSync(
  new URL("./webmidi-standin.js", import.meta.url),
  "utf8",
);

// Children that outlive a failed test are ended with the test process.
const children = new Set();
process.on("exit", () => {
  for (const child of children) child.kill("SIGKILL");
});

function start(command, args, env) {
  const child = spawn(command, args, {
    env,
    stdio: ["ignore", "pipe", "pipe"],
  });
  children.add(child);
  child.output = ""; // both streams, for the reader of a failed start
  child.printed = ""; // standard output alone
  child.stdout.setEncoding("utf8").on("data", (text) => {
    child.output += text;
    child.printed += text;
  });
  child.stderr.setEncoding("utf8").on("data", (text) => (child.output += text));
  child.ended = once(child, "exit");
  child.ended.then(() => children.delete(child));
  return child;
}

// Waits until `done(output)` holds; throws with the output when the child
// ends first or the limit (only against a start that hangs) passes.
async function waitFor(child, what, done, limit = 30000) {
  const deadline = Date.now() + limit;
  while (!done(child.printed)) {
    if (
      child.exitCode !== null ||
      child.signalCode !== null ||
      Date.now() > deadline
    ) {
      throw new Error(`${what} did not start:\n${child.output}`);
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// The bridge and the simulator end cleanly on SIGTERM; anything else (a
// crash, a sanitizer's report) fails the test that stops them.
async function stop(child, what) {
  if (child.exitCode === null && child.signalCode === null)
    child.kill("SIGTERM");
  await child.ended;
  if (what && child.exitCode !== 0) {
    throw new Error(
      `${what} ended with ${child.exitCode ?? child.signalCode}:\n${child.output}`,
    );
  }
}

function jackAnswers(env) {
  return (
    spawnSync("jack_lsp", { env, stdio: "ignore", timeout: 20000 }).status === 0
  );
}

async function startJack() {
  if (process.env.JACK_DEFAULT_SERVER) {
    if (!jackAnswers(process.env)) {
      throw new Error(
        `the JACK server '${process.env.JACK_DEFAULT_SERVER}' does not answer`,
      );
    }
    return { env: process.env, server: null };
  }
  const name = `ravlin-web-${process.pid}`;
  const env = {
    ...process.env,
    JACK_DEFAULT_SERVER: name,
    JACK_NO_AUDIO_RESERVATION: "1",
  };
  // 512-frame periods for the reasons scripts/jack-server.sh gives.
  const server = start(
    "jackd",
    ["-n", name, "-d", "dummy", "-r", "48000", "-p", "512"],
    env,
  );
  for (let attempt = 0; attempt < 200 && server.exitCode === null; ++attempt) {
    if (jackAnswers(env)) return { env, server };
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  await stop(server);
  throw new Error(`the JACK server ${name} did not start:\n${server.output}`);
}

class Simulator {
  name = "TRV-408 Simulator";
  input = `${this.name}:in`;
  output = `${this.name}:out`;
  #env;
  #process = null;

  constructor(env) {
    this.#env = env;
  }

  async start(options = []) {
    await this.stop();
    this.#process = start(
      programs.sim,
      ["--name", this.name, "--api", "jack", ...options],
      this.#env,
    );
    await waitFor(this.#process, "trv408-sim", (output) =>
      /^ready$/m.test(output),
    );
  }

  async stop() {
    if (this.#process) await stop(this.#process, "trv408-sim");
    this.#process = null;
  }
}

async function serveBlankPage() {
  const server = createServer((request, response) => {
    response
      .writeHead(200, { "Content-Type": "text/html" })
      .end("<!doctype html><title>blank</title>");
  });
  server.listen(0, "127.0.0.1");
  await once(server, "listening");
  return server;
}

export async function openPage({
  sim = [],
  standIn = {},
  url,
  context: contextOptions = {},
} = {}) {
  const ended = [];
  // Everything is ended even when one of them fails; the first failure is
  // thrown.
  const close = async () => {
    const failures = [];
    for (const end of ended.splice(0).reverse()) {
      await end().catch((e) => failures.push(e));
    }
    if (failures.length > 0) throw failures[0];
  };
  try {
    const jack = await startJack();
    if (jack.server) ended.push(() => stop(jack.server));
    const simulator = new Simulator(jack.env);
    ended.push(() => simulator.stop());
    if (sim) await simulator.start(sim);
    const bridge = start(programs.bridge, ["--port", "0"], jack.env);
    ended.push(() => stop(bridge, "webmidi-bridge"));
    await waitFor(bridge, "webmidi-bridge", (output) => /^\d+\n/.test(output));
    const bridgeUrl = `ws://127.0.0.1:${parseInt(bridge.printed, 10)}`;
    const blank = await serveBlankPage();
    ended.push(() => new Promise((resolve) => blank.close(resolve)));
    const blankPage = `http://127.0.0.1:${blank.address().port}/`;
    const browser = await chromium.launch({
      executablePath: "/usr/bin/chromium",
    });
    ended.push(() => browser.close());

    const newPage = async (
      options = {},
      pageUrl = blankPage,
      contextOptions = {},
    ) => {
      const context = await browser.newContext(contextOptions);
      const page = await context.newPage();
      const settings = JSON.stringify({ ...options, url: bridgeUrl });
      await page.addInitScript(
        `(() => {\n${standInSource}\ninstallWebMidiStandIn(${settings});\n})();`,
      );
      await page.goto(pageUrl);
      return page;
    };
    return {
      page: await newPage(standIn, url ?? blankPage, contextOptions),
      newPage,
      sim: simulator,
      env: jack.env,
      close,
    };
  } catch (error) {
    await close().catch(() => {});
    throw error;
  }
}
