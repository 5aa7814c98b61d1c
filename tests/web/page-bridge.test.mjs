// The page from dist/web in headless Chromium, over the Web MIDI stand-in and
// webmidi-bridge, against trv408-sim in a process of its own on the JACK
// server: a person's clicks, and what the page shows and downloads. The site
// must be built (scripts/web.sh build); an import is compared with what
// ravlin-cli imports from the same simulator over the same server.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import { readFileSync, readdirSync, rmSync } from "node:fs";
import { join } from "node:path";
import { openPage } from "./harness.mjs";
import { readZip } from "./zip.mjs";
import {
  button,
  captions,
  cli,
  command,
  idle,
  item,
  open,
  repo,
  site,
  status,
  temporaryFolder,
} from "./page-helpers.mjs";

const english = { locale: "en-US" };

let server;
let url;
let session;
let sim;
const folders = [];

before(async () => {
  server = spawn(
    process.execPath,
    [join(repo, "scripts", "web-serve.mjs"), site, "0"],
    { stdio: ["ignore", "pipe", "inherit"] },
  );
  url = await new Promise((resolve) =>
    server.stdout.once("data", (data) => resolve(String(data).trim())),
  );
  session = await openPage({ url, context: english });
  sim = session.sim;
});

after(async () => {
  await session?.close();
  server?.kill();
  for (const folder of folders)
    rmSync(folder, { recursive: true, force: true });
});

// ravlin-cli on the simulator's ports, with settings of its own.
function runCli(args) {
  const folder = temporaryFolder();
  return execFileSync(cli, ["--in", sim.output, "--out", sim.input, ...args], {
    env: {
      ...session.env,
      RAVLIN_MIDI_API: "jack",
      XDG_CONFIG_HOME: folder,
      HOME: folder,
    },
    encoding: "utf8",
  });
}

// The files ravlin-cli imports, by name.
function cliImport(addresses) {
  const folder = temporaryFolder();
  runCli(["import", ...addresses, folder]);
  return new Map(readdirSync(folder).map((name) => [name, join(folder, name)]));
}

async function ready(page) {
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.waitForSelector("html[data-ready]");
  return errors;
}

// Connect asks for access and lists the ports; Detect is enabled after that.
async function connect(page, caption = "Connect") {
  await button(page, caption).click();
  await page.waitForSelector("#detect:enabled");
}

const shown = (page, label) =>
  page
    .getByLabel(label)
    .evaluate((select) => select.selectedOptions[0].textContent);
const listed = (page, label) =>
  page
    .getByLabel(label)
    .evaluate((select) => [...select.options].map((o) => o.textContent));

async function sendFile(page, file) {
  const chooser = page.waitForEvent("filechooser");
  await button(page, "Send").click();
  await (await chooser).setFiles(file);
  await idle(page);
}

test("connect, detect, list, import, back up, send and delete against trv408-sim", async (t) => {
  const page = session.page;
  const errors = await ready(page);
  await connect(page);
  // Among the server's other ports, the built-in simulator last and chosen.
  const inputs = await listed(page, "MIDI input");
  assert.ok(inputs.includes(sim.output), inputs.join(", "));
  assert.equal(inputs.at(-1), "TRV-408 Simulator (built-in)");
  assert.ok((await listed(page, "MIDI output")).includes(sim.input));
  assert.equal(await shown(page, "MIDI input"), "TRV-408 Simulator (built-in)");

  await t.test("Detect chooses the simulator's ports", async () => {
    assert.equal(await command(page, "Detect"), "");
    assert.equal(await shown(page, "MIDI input"), sim.output);
    assert.equal(await shown(page, "MIDI output"), sim.input);
  });

  await t.test("Get/Update List shows the simulator's memory", async () => {
    assert.equal(await command(page, "Get/Update List"), "");
    await open(page, ["Song Rhythm:\\"]);
    assert.match(
      await page.locator("#space").textContent(),
      /^Capacity 21504 bytes, used \d+ bytes/,
    );
    await open(page, ["Song"]);
    assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
  });

  const song = cliImport(["song/0"]).get("SNG_DemoSong.lqd");
  assert.ok(song, "ravlin-cli imported SNG_DemoSong.lqd");

  await t.test("an import downloads what ravlin-cli writes", async () => {
    await item(page, "DemoSong").click();
    const arrived = page.waitForEvent("download");
    assert.equal(await command(page, "Import"), "");
    const download = await arrived;
    assert.equal(download.suggestedFilename(), "SNG_DemoSong.lqd");
    assert.deepEqual(readFileSync(await download.path()), readFileSync(song));
  });

  await t.test("a backup downloads what ravlin-cli backup writes", async () => {
    const cliFolder = temporaryFolder();
    runCli(["backup", cliFolder]);
    const arrived = page.waitForEvent("download");
    assert.equal(await command(page, "Back Up Keyboard..."), "");
    const entries = readZip(readFileSync(await (await arrived).path()));
    const names = readdirSync(cliFolder);
    assert.deepEqual([...entries.keys()].sort(), names.sort());
    for (const name of names)
      assert.deepEqual(
        entries.get(name),
        readFileSync(join(cliFolder, name)),
        name,
      );
  });

  // The song slots as ravlin-cli lists them from the simulator.
  const songSlots = () => {
    const slots = (entries) =>
      entries.flatMap((entry) =>
        entry.entries ? slots(entry.entries) : entry,
      );
    return slots(JSON.parse(runCli(["list", "--json"])).drives)
      .filter((slot) => slot.address.startsWith("song/"))
      .map((slot) => [slot.name, slot.present]);
  };

  await t.test("a send fills the simulator's slot", async () => {
    await item(page, "Song 1").click();
    await sendFile(page, song);
    assert.equal(await status(page), "");
    assert.deepEqual(await captions(page), ["DemoSong", "DemoSong"]);
    assert.deepEqual(songSlots(), [
      ["DemoSong", true],
      ["DemoSong", true],
    ]);
  });

  await t.test("a delete empties it", async () => {
    await item(page, "DemoSong").nth(1).click();
    assert.equal(await command(page, "Delete"), "");
    assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
    assert.deepEqual(songSlots(), [
      ["DemoSong", true],
      ["Song 1", false],
    ]);
  });

  assert.deepEqual(errors, []);
});

// The page's storage (the ports it remembers) in a context of its own.
const remembered = async (page, locale = "en-US") => ({
  locale,
  storageState: await page.context().storageState(),
});

async function connected(standIn, context, caption = "Connect") {
  const page = await session.newPage(standIn, url, context);
  const errors = await ready(page);
  await connect(page, caption);
  return { page, errors };
}

const showingPorts = (page, input, output) =>
  page.waitForFunction(
    ([input, output]) =>
      document.getElementById("input").selectedOptions[0].textContent ===
        input &&
      document.getElementById("output").selectedOptions[0].textContent ===
        output,
    [input, output],
  );

test("ports chosen by name, remembered, gone and back; strays and a time-out in the monitor; held, refused and no Web MIDI", async () => {
  const { page, errors } = await connected({}, english);
  await page.getByLabel("MIDI input").selectOption(sim.output);
  await page.getByLabel("MIDI output").selectOption(sim.input);
  await page.reload();
  await ready(page);
  await connect(page);
  await showingPorts(page, sim.output, sim.input);

  await sim.stop();
  await showingPorts(
    page,
    `${sim.output} (not connected)`,
    `${sim.input} (not connected)`,
  );
  assert.equal(
    await command(page, "Get/Update List"),
    "The MIDI output device is not open",
  );

  // Back, with another device's message before every answer: each is a
  // stray, shown in the monitor and dropped, and the list is read.
  await sim.start(["--fault", "foreign-first:0"]);
  await showingPorts(page, sim.output, sim.input);
  await button(page, "MIDI Monitor").click();
  const monitor = page.getByRole("region", { name: "MIDI Monitor" });
  assert.equal(await command(page, "Get/Update List"), "");
  await monitor.locator("tr.stray").first().waitFor();
  const strays = await monitor
    .locator("tr.stray")
    .evaluateAll((rows) => rows.map((row) => row.cells[3].textContent));
  assert.ok(strays.length > 1);
  for (const meaning of strays) assert.match(meaning, /^stray, dropped: /);

  // Back again, but a keyboard that never answers: the failure ends the
  // monitor's rows and the saved log, and leaves no half-read list shown.
  await sim.start(["--fault", "no-answer:0"]);
  await showingPorts(page, sim.output, sim.input);
  assert.equal(await command(page, "Get/Update List"), "MIDI Timeout");
  assert.equal(await page.getByRole("treeitem").count(), 0);
  await monitor.locator("tr.failure").waitFor();
  const saved = page.waitForEvent("download");
  await button(page, "Save As...").click();
  const marks = readFileSync(await (await saved).path(), "utf8")
    .trimEnd()
    .split("\n")
    .map((line) => line.split("\t")[1]);
  assert.ok(marks.includes("~") && marks.at(-1) === "!", marks.join(""));
  assert.deepEqual(errors, []);

  const japanese = await connected({}, await remembered(page, "ja-JP"), "接続");
  assert.equal(
    await command(japanese.page, "一覧の取得/更新"),
    "MIDI通信タイムアウトエラー",
  );
  assert.deepEqual(japanese.errors, []);

  const held = await connected({ held: [sim.input] }, english);
  await held.page.getByLabel("MIDI output").selectOption(sim.input);
  await held.page.waitForFunction(
    () => document.getElementById("status").textContent !== "",
  );
  assert.equal(
    await status(held.page),
    "The MIDI port is held by another program; close that program and try again.",
  );

  const refused = await connected({ refuse: true }, await remembered(page));
  assert.equal(
    await status(refused.page),
    "The browser refused access to MIDI devices; allow it in the site's settings and click Connect again.",
  );
  assert.equal(
    await shown(refused.page, "MIDI input"),
    `${sim.output} (not connected)`,
  );
  assert.ok(await button(refused.page, "Get/Update List").isEnabled());

  const missing = await connected(
    { missing: true },
    { locale: "ja-JP" },
    "接続",
  );
  assert.equal(
    await status(missing.page),
    "このブラウザはWeb MIDIに対応していないため、キーボードとは通信できません。内蔵シミュレータは使用できます。",
  );
  assert.equal(await command(missing.page, "一覧の取得/更新"), "");
  assert.ok(
    await missing.page
      .getByRole("treeitem", { name: "Song Rhythm:\\" })
      .isVisible(),
  );
  for (const other of [held, refused, missing])
    assert.deepEqual(other.errors, []);
});

test("a cancel stops an import on the cable between blocks", async () => {
  await sim.start(["--cable"]);
  const { page, errors } = await connected({}, english);
  await page.getByLabel("MIDI input").selectOption(sim.output);
  await page.getByLabel("MIDI output").selectOption(sim.input);
  assert.equal(await command(page, "Get/Update List"), "");
  await open(page, ["Song"]);
  await item(page, "DemoSong").click();
  // The same keyboard answering each block a quarter of a second late: the
  // demo song's few blocks leave time enough for a click between them.
  await sim.stop();
  await showingPorts(
    page,
    `${sim.output} (not connected)`,
    `${sim.input} (not connected)`,
  );
  await sim.start(["--cable", "--reply-delay", "250"]);
  await showingPorts(page, sim.output, sim.input);
  const downloads = [];
  page.on("download", (download) => downloads.push(download));
  await button(page, "Import").click();
  await page.waitForFunction(
    () => document.getElementById("progress").value > 0,
  );
  await button(page, "Cancel").click();
  await idle(page);
  assert.equal(await status(page), "Cancelled");
  assert.equal(downloads.length, 0);
  // The keyboard is left ready for the next import.
  const arrived = page.waitForEvent("download");
  assert.equal(await command(page, "Import"), "");
  assert.equal((await arrived).suggestedFilename(), "SNG_DemoSong.lqd");
  assert.deepEqual(errors, []);
});
