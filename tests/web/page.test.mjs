// The page in headless Chromium, on the simulator in the page: a person's
// clicks, and what the page shows and downloads. The site must be built
// (scripts/web.sh build); an import is compared with the command-line tool's
// import of the same slot from its built-in simulator (the same demo memory).
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import { join } from "node:path";
import {
  captions,
  cli,
  command,
  idle,
  item,
  open,
  chromiumOnSite,
  temporaryFolder,
} from "./page-helpers.mjs";

const { openPage } = chromiumOnSite();

// The files the command-line tool imports from its simulator, by name.
function cliImport(addresses) {
  const folder = temporaryFolder();
  execFileSync(cli, ["import", ...addresses, folder], {
    env: {
      ...process.env,
      RAVLIN_MIDI_API: "none",
      XDG_CONFIG_HOME: folder,
      HOME: folder,
    },
  });
  return new Map(readdirSync(folder).map((name) => [name, join(folder, name)]));
}

// What a screen reader is told of the item list: the texts it reads there,
// and each row's name with its description.
async function spokenList(page) {
  const cdp = await page.context().newCDPSession(page);
  const { nodes } = await cdp.send("Accessibility.getFullAXTree");
  const list = await cdp.send("Runtime.evaluate", {
    expression: 'document.getElementById("items")',
  });
  const options = await cdp.send("Accessibility.queryAXTree", {
    objectId: list.result.objectId,
    role: "option",
  });
  return {
    texts: nodes
      .filter((node) => !node.ignored && node.role?.value === "StaticText")
      .map((node) => node.name?.value),
    rows: options.nodes.map((node) => [
      node.name?.value,
      node.description?.value,
    ]),
  };
}

const showing = (page, text) =>
  page.waitForFunction(
    (text) => document.getElementById("status").textContent === text,
    text,
  );

test("list, import, send, delete and cancel on the simulator in the page", async (t) => {
  const { page, errors } = await openPage();
  for (const name of [
    "Connect",
    "Detect",
    "Get/Update List",
    "Import",
    "Send",
    "Delete",
    "Cancel",
  ])
    assert.equal(
      await page.getByRole("button", { name, exact: true }).count(),
      1,
      name,
    );
  assert.ok(await page.getByRole("button", { name: "Connect" }).isEnabled());
  assert.ok(
    await page.getByRole("button", { name: "Get/Update List" }).isDisabled(),
  );

  // Chromium here finds no MIDI system: the simulator is offered all the same.
  await page.getByRole("button", { name: "Connect" }).click();
  for (const label of ["MIDI input", "MIDI output"]) {
    const select = page.getByLabel(label);
    assert.equal(
      await select.evaluate((s) => s.selectedOptions[0].textContent),
      "TRV-408 Simulator (built-in)",
    );
  }

  // Detect asks every Web MIDI port, never the simulator.
  assert.equal(await command(page, "Detect"), "No keyboard found");

  assert.equal(await command(page, "Get/Update List"), "");
  const tree = page.getByRole("tree", { name: "Keyboard memory" });
  assert.deepEqual(
    await tree
      .getByRole("treeitem")
      .evaluateAll((items) => items.map((i) => i.ariaLabel)),
    [
      "TRV-408",
      "Tone:\\",
      "DSP:\\",
      "Registration:\\",
      "Bank0",
      "Bank1",
      "Bank2",
      "Bank3",
    ].concat(["Song Rhythm:\\", "Song", "Rhythm"]),
  );
  await open(page, ["Song Rhythm:\\"]);
  assert.match(
    await page.locator("#space").textContent(),
    /^Capacity 21504 bytes, used \d+ bytes/,
  );
  await open(page, ["Song"]);
  assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
  const spoken = await spokenList(page);
  for (const header of ["Name", "Type", "Size"])
    assert.ok(spoken.texts.includes(header), header);
  assert.deepEqual(spoken.rows, [
    ["DemoSong", "Type Song Size 716"],
    ["Song 1", "Type Size"],
  ]);

  const downloads = [];
  page.on("download", (download) => downloads.push(download));

  await t.test("an import downloads the file the desktop writes", async () => {
    const slots = [
      [["Song"], "DemoSong", "song/0"],
      [["Rhythm"], "Bossa 2 ", "rhythm/0"],
      [["Tone:\\"], "Piano 1 ", "tone/0"],
      [["Bank2"], "Preset2-3", "reg/2/2"],
    ];
    const expected = cliImport(slots.map(([, , address]) => address));
    for (const [path, caption] of slots) {
      await open(page, path);
      await item(page, caption).click();
      const arrived = page.waitForEvent("download");
      assert.equal(await command(page, "Import"), "");
      const download = await arrived;
      const name = download.suggestedFilename();
      assert.ok(expected.has(name), `${name} among ${[...expected.keys()]}`);
      assert.deepEqual(
        readFileSync(await download.path()),
        readFileSync(expected.get(name)),
      );
    }
    downloads.length = 0;
  });

  const song = cliImport(["song/0"]).get("SNG_DemoSong.lqd");
  const tone = cliImport(["tone/0"]).get("TON_Piano 1 .lqd");
  const sendFile = async (file) => {
    const chooser = page.waitForEvent("filechooser");
    await page.getByRole("button", { name: "Send", exact: true }).click();
    await (await chooser).setFiles(file);
  };

  await t.test(
    "a send fills the slot; one of another type is refused",
    async () => {
      await open(page, ["Song"]);
      await item(page, "Song 1").click();
      await sendFile(tone);
      await idle(page);
      assert.equal(
        await page.getByRole("status").textContent(),
        "Data type is different",
      );
      await sendFile(song);
      await idle(page);
      assert.deepEqual(await captions(page), ["DemoSong", "DemoSong"]);
    },
  );

  await t.test("a delete empties the song's slot", async () => {
    await item(page, "DemoSong").nth(1).click();
    assert.equal(await command(page, "Delete"), "");
    assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
    await open(page, ["Tone:\\"]);
    await item(page, "Piano 1 ").click();
    assert.ok(await page.getByRole("button", { name: "Delete" }).isDisabled());
  });

  await t.test(
    "a cancel stops an import between blocks, a send after its item",
    async () => {
      await open(page, ["Song"]);
      await item(page, "DemoSong").click();
      await page.getByRole("button", { name: "Import" }).click();
      await page.getByRole("button", { name: "Cancel" }).click();
      await idle(page);
      assert.equal(await page.getByRole("status").textContent(), "Cancelled");

      await item(page, "Song 1").click();
      await sendFile(song);
      await showing(page, "Sending a data...");
      await page.getByRole("button", { name: "Cancel" }).click();
      assert.equal(
        await page.getByRole("status").textContent(),
        "Stopping after this item...",
      );
      await idle(page);
      assert.equal(
        await page.getByRole("status").textContent(),
        "Cancelled after the item under way was finished",
      );
      assert.deepEqual(await captions(page), ["DemoSong", "DemoSong"]);
      assert.equal(downloads.length, 0);
    },
  );

  assert.deepEqual(errors, []);
});

test("Japanese texts", async () => {
  const { page, errors } = await openPage({ locale: "ja-JP" });
  for (const name of [
    "接続",
    "検出",
    "一覧の取得/更新",
    "インポート",
    "送信",
    "削除",
    "キャンセル",
  ])
    assert.equal(
      await page.getByRole("button", { name, exact: true }).count(),
      1,
      name,
    );

  await page.getByRole("button", { name: "接続" }).click();
  assert.equal(await command(page, "一覧の取得/更新"), "");
  assert.ok(
    await page.getByRole("treeitem", { name: "Song Rhythm:\\" }).isVisible(),
  );
  await open(page, ["Song"]);
  assert.equal(
    await command(page, "インポート"),
    "受信元のデータが指定されていません",
  );
  assert.deepEqual(errors, []);
});
