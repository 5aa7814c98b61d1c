// The page's whole-keyboard backup and restore, its batches and its MIDI
// monitor, on the simulator in the page: a person's clicks, and what the page
// shows and downloads, against the command-line tool's own backup, imports
// and message log from its built-in simulator (the same demo memory). The
// site must be built (scripts/web.sh build).
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync, readdirSync, utimesSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { readZip, writeZip } from "./zip.mjs";
import {
  button,
  captions,
  cli,
  command,
  idle,
  open,
  rows,
  status,
  temporaryFolder,
  chromiumOnSite,
} from "./page-helpers.mjs";

const { openPage } = chromiumOnSite();

// The command-line tool on its built-in simulator, with settings of its own.
function runCli(args) {
  const home = temporaryFolder();
  execFileSync(cli, args, {
    env: {
      ...process.env,
      RAVLIN_MIDI_API: "none",
      XDG_CONFIG_HOME: home,
      HOME: home,
    },
  });
}
// The folder the tool imports the slots into.
function cliImport(addresses) {
  const folder = temporaryFolder();
  runCli(["import", ...addresses, folder]);
  return folder;
}
const filesOf = (folder) =>
  new Map(
    readdirSync(folder).map((name) => [name, readFileSync(join(folder, name))]),
  );

async function choose(page, name, files) {
  const chooser = page.waitForEvent("filechooser");
  await button(page, name).click();
  await (await chooser).setFiles(files);
  await idle(page);
  return status(page);
}

async function downloaded(page, start) {
  const arrived = page.waitForEvent("download");
  await start();
  const download = await arrived;
  return {
    name: download.suggestedFilename(),
    bytes: readFileSync(await download.path()),
  };
}

// Every drive's slot captions, to tell one keyboard state from another.
async function memory(page) {
  const state = {};
  for (const path of [["Tone:\\"], ["DSP:\\"], ["Song"], ["Rhythm"]]) {
    await open(page, path);
    state[path[0]] = await captions(page);
  }
  for (let bank = 0; bank < 4; bank++) {
    await open(page, ["Bank" + bank]);
    state["Bank" + bank] = await captions(page);
  }
  return state;
}

async function connected(page) {
  await button(page, "Connect").click();
  assert.equal(await command(page, "Get/Update List"), "");
}

test("backup and restore of the whole keyboard as one .zip", async (t) => {
  const { page, errors } = await openPage();
  await connected(page);
  const demo = await memory(page);
  const cliFolder = temporaryFolder();
  runCli(["backup", cliFolder]);
  const cliFiles = filesOf(cliFolder);

  const backup = await downloaded(page, () =>
    button(page, "Back Up Keyboard...").click(),
  );
  await idle(page);
  await t.test("its files equal the command-line tool's backup", () => {
    assert.equal(backup.name, "ravlin-backup.zip");
    const entries = readZip(backup.bytes);
    assert.deepEqual([...entries.keys()].sort(), [...cliFiles.keys()].sort());
    assert.ok(entries.has(".ravlin-backup") && entries.has("song-0.lqd"));
    for (const [name, data] of cliFiles)
      assert.deepEqual(entries.get(name), data, name);
  });

  await t.test("its restore brings back a changed keyboard", async () => {
    const toneFolder = cliImport(["tone/0"]);
    const toneFile = join(toneFolder, readdirSync(toneFolder)[0]);
    await open(page, ["Song"]);
    await rows(page).first().click();
    assert.equal(await command(page, "Delete"), "");
    await open(page, ["Tone:\\"]);
    await rows(page).nth(4).click();
    assert.equal(await choose(page, "Send", toneFile), "");
    const changed = await memory(page);
    assert.notDeepEqual(changed, demo);

    // The restore asks first, naming how many items it replaces and the
    // backup's date, that of its file; No changes nothing.
    const archive = join(temporaryFolder(), "backup.zip");
    writeFileSync(archive, backup.bytes);
    const made = new Date(2026, 2, 4, 5, 6);
    utimesSync(archive, made, made);
    const asked = [];
    const answer = (yes) =>
      page.once("dialog", (dialog) => {
        asked.push(dialog.message());
        void (yes ? dialog.accept() : dialog.dismiss());
      });
    answer(false);
    assert.equal(await choose(page, "Restore Keyboard...", archive), "");
    assert.deepEqual(await memory(page), changed);
    answer(true);
    assert.equal(await choose(page, "Restore Keyboard...", archive), "");
    const items = [...readZip(backup.bytes).keys()].filter((name) =>
      name.endsWith(".lqd"),
    ).length;
    assert.deepEqual(asked, [
      `Restore replaces ${items} items on the keyboard with the backup of 2026-03-04 05:06. Continue?`,
      `Restore replaces ${items} items on the keyboard with the backup of 2026-03-04 05:06. Continue?`,
    ]);
    assert.equal(await command(page, "Get/Update List"), "");
    assert.deepEqual(await memory(page), demo);
    const again = await downloaded(page, () =>
      button(page, "Back Up Keyboard...").click(),
    );
    await idle(page);
    assert.deepEqual(readZip(again.bytes), readZip(backup.bytes));

    // A .zip made of a backup's folder holds that folder.
    await open(page, ["Song"]);
    await rows(page).first().click();
    assert.equal(await command(page, "Delete"), "");
    const folder = new Map(
      [...readZip(backup.bytes)].map(([name, data]) => [
        "TRV-408 backup/" + name,
        data,
      ]),
    );
    writeFileSync(archive, writeZip(folder));
    answer(true);
    assert.equal(await choose(page, "Restore Keyboard...", archive), "");
    assert.deepEqual(await captions(page), demo.Song);
  });

  await t.test(
    "an archive that cannot be restored is refused before the first message",
    async () => {
      const files = readZip(backup.bytes);
      const compressed = Buffer.from(backup.bytes);
      // The first entry's method, in its local header and the directory: deflate.
      compressed.writeUInt16LE(8, 8);
      compressed.writeUInt16LE(
        8,
        compressed.indexOf(Buffer.from([0x50, 0x4b, 1, 2])) + 10,
      );
      const song = files.get("song-0.lqd");
      const cases = [
        [
          Buffer.from("not an archive"),
          "The file is not a ZIP archive, or it is damaged",
        ],
        [
          compressed,
          "The ZIP archive holds compressed entries, which can't be read",
        ],
        [
          writeZip(new Map([["readme.txt", Buffer.from("hello")]])),
          "No backup files in the folder",
        ],
        [
          writeZip(
            new Map([...files, [".ravlin-backup", Buffer.from("unfinished")]]),
          ),
          "The backup in the folder is incomplete",
        ],
        [
          writeZip(new Map([["tone-3.lqd", song]])),
          "Data type is different\ntone-3.lqd",
        ],
        [
          writeZip(new Map([["../tone-0.lqd", files.get("tone-0.lqd")]])),
          "The file is not a ZIP archive, or it is damaged",
        ],
        [
          writeZip(new Map([["a/b/tone-0.lqd", files.get("tone-0.lqd")]])),
          "The ZIP archive holds a name with a NUL character or a folder inside a folder",
        ],
      ];
      const state = await memory(page);
      await button(page, "MIDI Monitor").click();
      await button(page, "Clear").click();
      const archive = join(temporaryFolder(), "faulty.zip");
      for (const [bytes, text] of cases) {
        writeFileSync(archive, bytes);
        assert.equal(await choose(page, "Restore Keyboard...", archive), text);
        assert.equal(
          await page.locator("#monitor-count").textContent(),
          "0 messages",
          text,
        );
      }
      await button(page, "MIDI Monitor").click();
      assert.deepEqual(await memory(page), state);
    },
  );
  assert.deepEqual(errors, []);
});

test("batches: several imports as one .zip, several files into the slots from the chosen one", async (t) => {
  const { page, errors } = await openPage();
  await connected(page);
  await open(page, ["Tone:\\"]);
  const tones = await captions(page);

  await t.test("Shift and Ctrl with a click choose the items", async () => {
    await rows(page).nth(0).click();
    await rows(page)
      .nth(2)
      .click({ modifiers: ["Shift"] });
    await rows(page)
      .nth(1)
      .click({ modifiers: ["Control"] });
    await rows(page)
      .nth(4)
      .click({ modifiers: ["Control"] });
    const imported = await downloaded(page, () =>
      button(page, "Import").click(),
    );
    await idle(page);
    assert.equal(await status(page), "");
    assert.equal(imported.name, "ravlin-import.zip");
    const expected = filesOf(cliImport(["tone/0", "tone/2", "tone/4"]));
    const entries = readZip(imported.bytes);
    assert.deepEqual([...entries.keys()].sort(), [...expected.keys()].sort());
    for (const [name, data] of expected)
      assert.deepEqual(entries.get(name), data, name);

    await rows(page).nth(5).click();
    await page.keyboard.press("Shift+ArrowDown");
    await page.keyboard.press("Shift+ArrowDown");
    assert.deepEqual(
      await rows(page).evaluateAll((options) =>
        options.map((row) => row.ariaSelected === "true"),
      ),
      tones.map((_, i) => i >= 5 && i <= 7),
    );
  });

  // The files of the first two tones, in the order of their slots.
  const toneFiles = ["tone/0", "tone/1"].map((address) => {
    const folder = cliImport([address]);
    return join(folder, readdirSync(folder)[0]);
  });
  const songFolder = cliImport(["song/0"]);
  const songFile = join(songFolder, readdirSync(songFolder)[0]);

  await t.test(
    "a batch that cannot succeed changes nothing; one that can fills the slots in order",
    async () => {
      await rows(page).nth(9).click();
      assert.equal(await choose(page, "Send", toneFiles), "Not acceptable");
      await rows(page).nth(6).click();
      assert.equal(
        await choose(page, "Send", [toneFiles[0], songFile]),
        "Data type is different",
      );
      assert.deepEqual(await captions(page), tones);

      await rows(page).nth(6).click();
      assert.equal(await choose(page, "Send", toneFiles), "");
      const expected = [...tones];
      expected.splice(6, 2, tones[0], tones[1]);
      assert.deepEqual(await captions(page), expected);
    },
  );
  assert.deepEqual(errors, []);
});

// Ports of the page's own whose keyboard never answers: every message out
// brings back one from another maker, which answers no request.
test("the MIDI monitor: the engine's rows, Pause, Clear and Save", async (t) => {
  const { page, errors } = await openPage();
  await button(page, "Connect").click();
  await page.getByLabel("MIDI input").selectOption("builtin");
  await page.getByLabel("MIDI output").selectOption("builtin");
  await button(page, "MIDI Monitor").click();
  const monitor = page.getByRole("region", { name: "MIDI Monitor" });
  const table = () =>
    monitor
      .getByRole("row")
      .evaluateAll((rows) =>
        rows.map((row) => [...row.cells].map((cell) => cell.textContent)),
      );
  const count = () => page.locator("#monitor-count").textContent();
  // The monitor shows what came at its next look.
  const showing = async (messages) => {
    await page.waitForFunction(
      (text) => document.getElementById("monitor-count").textContent === text,
      `${messages} messages`,
    );
    return table();
  };

  await t.test(
    "a list's messages, as the command-line tool logs them",
    async () => {
      const log = join(temporaryFolder(), "list.log");
      runCli(["--log", log, "list"]);
      const lines = readFileSync(log, "utf8").trimEnd().split("\n");
      assert.equal(await command(page, "Get/Update List"), "");
      const shown = await showing(lines.length);
      assert.deepEqual(shown[0], [
        "Time (s)",
        "Direction",
        "Length",
        "Meaning",
        "Bytes",
      ]);
      const body = shown.slice(1);
      body.forEach((row, i) => {
        const [time, direction, hex, meaning] = lines[i].split("\t");
        assert.match(row[0], /^\d+\.\d{6}$/);
        assert.equal(
          row[1],
          direction === ">" ? "to keyboard" : "from keyboard",
        );
        assert.equal(row[2], String(hex.split(" ").length));
        assert.equal(row[3], meaning);
        assert.equal(row[4], hex);
        if (i === 0) assert.equal(time, "0.000000");
      });
    },
  );

  await t.test(
    "Pause stops the display, not the record; Save writes the log",
    async () => {
      const before = (await table()).length - 1;
      await button(page, "Pause").click();
      assert.equal(await command(page, "Get/Update List"), "");
      // A list takes longer than many of the monitor's looks.
      assert.equal(await count(), `${before} messages`);
      await button(page, "Pause").click();
      const shown = (await showing(2 * before)).slice(1);
      const saved = await downloaded(page, () =>
        button(page, "Save As...").click(),
      );
      assert.equal(saved.name, "ravlin.log");
      const lines = saved.bytes.toString("utf8").trimEnd().split("\n");
      assert.deepEqual(
        lines.map((line) => line.split("\t")),
        shown.map(([time, direction, , meaning, bytes]) => [
          time,
          direction === "to keyboard" ? ">" : "<",
          bytes,
          meaning,
        ]),
      );
      await button(page, "Clear").click();
      assert.deepEqual((await table()).length, 1);
      assert.equal(await count(), "0 messages");
    },
  );

  assert.deepEqual(errors, []);
});

test("the Japanese page's captions for backup and the monitor", async () => {
  const { page, errors } = await openPage({ locale: "ja-JP" });
  for (const name of [
    "キーボードをバックアップ...",
    "キーボードを復元...",
    "MIDIモニタ",
  ])
    assert.equal(await button(page, name).count(), 1, name);
  await button(page, "MIDIモニタ").click();
  for (const name of ["一時停止", "クリア", "名前を付けて保存..."])
    assert.equal(await button(page, name).count(), 1, name);
  assert.equal(
    await page.locator("#monitor-count").textContent(),
    "0 件のメッセージ",
  );
  assert.deepEqual(errors, []);
});
