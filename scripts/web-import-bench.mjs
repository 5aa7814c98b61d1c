// The page's import and whole-keyboard backup against the command-line
// tool's, as figures for scripts/bench.sh: song/0, and then every slot, of the
// demo memory from `trv408-sim --cable` on the JACK server that
// JACK_DEFAULT_SERVER names (the script's, at 32-frame periods), once through
// the page from dist/web with the Web MIDI stand-in and webmidi-bridge, once
// by `ravlin-cli import song/0` or `ravlin-cli backup`, alternating, median of
// each (RAVLIN_BENCH_RUNS, 5). The page's import runs from the click on
// Get/Update List to the end of the import clicked after it, its backup from
// the click on Back Up Keyboard... (which reads the list itself) to its end;
// the tool's from its start to its exit. Programs: WEBMIDI_BRIDGE, TRV408_SIM
// and RAVLIN_CLI, else those of build/.
import { spawn } from "node:child_process";
import { mkdirSync, mkdtempSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { openPage } from "../tests/web/harness.mjs";
import { cli, serveSite } from "../tests/web/page-helpers.mjs";
import { put } from "./bench-results.mjs";

const runs = Number(process.env.RAVLIN_BENCH_RUNS ?? 5);

const median = (values) =>
  [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const { url, server } = await serveSite();
const session = await openPage({
  sim: ["--cable"],
  url,
  context: { locale: "en-US" },
});
const folder = mkdtempSync(join(tmpdir(), "ravlin-web-bench-"));

// Seconds from the start of `ravlin-cli import song/0` (or `backup`) to its
// exit.
async function cliImport(command = ["import", "song/0"]) {
  const into = join(folder, "cli");
  rmSync(into, { recursive: true, force: true });
  mkdirSync(into);
  const started = performance.now();
  const child = spawn(
    cli,
    ["--in", session.sim.output, "--out", session.sim.input, ...command, into],
    {
      env: {
        ...session.env,
        RAVLIN_MIDI_API: "jack",
        XDG_CONFIG_HOME: folder,
        HOME: folder,
      },
      stdio: ["ignore", "ignore", "inherit"],
    },
  );
  const status = await new Promise((resolve) => child.on("exit", resolve));
  const seconds = (performance.now() - started) / 1000;
  if (status !== 0 || readdirSync(into).length === 0)
    throw new Error(`ravlin-cli ${command[0]} ended with ${status}`);
  return seconds;
}

const page = session.page;
await page.waitForSelector("html[data-ready]");
await page.getByRole("button", { name: "Connect" }).click();
await page.getByLabel("MIDI input").selectOption(session.sim.output);
await page.getByLabel("MIDI output").selectOption(session.sim.input);
await page.getByRole("button", { name: "Get/Update List" }).click();
await page.waitForFunction(() => document.getElementById("cancel").disabled);
await page.getByRole("treeitem", { name: "Song", exact: true }).click();
await page
  .getByRole("option", { name: "DemoSong", exact: true })
  .first()
  .click();
// Seconds from the click on Get/Update List to the end of the import that
// follows it (Cancel disabled again), on the page's clock: ravlin-cli too
// reads the list before it imports.
async function pageImport(commands = ["list", "import"]) {
  const downloaded = page.waitForEvent("download").then(
    () => true,
    () => false,
  );
  const seconds = await page.evaluate(
    (commands) =>
      new Promise((resolve) => {
        const cancel = document.getElementById("cancel");
        const started = performance.now();
        const ended = new MutationObserver(() => {
          if (!cancel.disabled) return;
          if (commands.length > 0) {
            document.getElementById(commands.shift()).click();
            return;
          }
          ended.disconnect();
          resolve((performance.now() - started) / 1000);
        });
        ended.observe(cancel, { attributes: true });
        document.getElementById(commands.shift()).click();
      }),
    commands,
  );
  const status = await page.getByRole("status").textContent();
  if (status !== "")
    throw new Error(`the page's ${commands.at(-1)} failed: ${status}`);
  if (!(await downloaded))
    throw new Error(`the page's ${commands.at(-1)} downloaded nothing`);
  return seconds;
}
const pageBackup = () => pageImport(["backup"]);
const cliBackup = () => cliImport(["backup"]);

// At 32-frame periods a JACK cycle that overruns (an xrun) drops MIDI, and
// the exchange that lost its message times out: such a run is not a figure
// of the program. It is run again, at most twice, and counted.
let retries = 0;
async function measured(run) {
  for (let attempt = 0; ; ++attempt) {
    try {
      return await run();
    } catch (error) {
      if (attempt === 2) throw error;
      console.error(`run again: ${error.message}`);
      ++retries;
    }
  }
}

const times = { page: [], cli: [] };
const backups = { page: [], cli: [] };
try {
  // One of each unmeasured: the page cache, the JIT and the ports warm up.
  await measured(pageImport);
  await measured(cliImport);
  for (let i = 0; i < runs; ++i) {
    times.page.push(await measured(pageImport));
    times.cli.push(await measured(cliImport));
  }
  for (let i = 0; i < runs; ++i) {
    backups.page.push(await measured(pageBackup));
    backups.cli.push(await measured(cliBackup));
  }
} finally {
  await session.close();
  server.kill();
  rmSync(folder, { recursive: true, force: true });
}

const ratios = times.page.map((t, i) => t / times.cli[i]);
put("fig10c.runs", runs);
put("fig10c.retries", retries);
put("fig10c.page_s", median(times.page));
put("fig10c.cli_s", median(times.cli));
put("fig10c.page_min_s", Math.min(...times.page));
put("fig10c.page_max_s", Math.max(...times.page));
put("fig10c.cli_min_s", Math.min(...times.cli));
put("fig10c.cli_max_s", Math.max(...times.cli));
put("fig10c.ratio_min", Math.min(...ratios));
put("fig10c.ratio_max", Math.max(...ratios));

const backupRatios = backups.page.map((t, i) => t / backups.cli[i]);
put("fig10d.runs", runs);
put("fig10d.page_s", median(backups.page));
put("fig10d.cli_s", median(backups.cli));
put("fig10d.page_min_s", Math.min(...backups.page));
put("fig10d.page_max_s", Math.max(...backups.page));
put("fig10d.cli_min_s", Math.min(...backups.cli));
put("fig10d.cli_max_s", Math.max(...backups.cli));
put("fig10d.ratio_min", Math.min(...backupRatios));
put("fig10d.ratio_max", Math.max(...backupRatios));
