// The page's files in headless Chromium: a .lqd file's properties and the
// rename of its data name, a drop of files onto the keyboard list, the site
// without a network and as an installable app, and Firefox's refusal. The
// files come from imports of the simulator in the page. The site must be
// built (scripts/web.sh build).
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { chromium } from "playwright-core";
import {
  captions,
  command,
  idle,
  item,
  open,
  site,
  status,
  chromiumOnSite,
  serveSite,
  temporaryFolder,
} from "./page-helpers.mjs";

const { openPage } = chromiumOnSite();

// Connected to the simulator in the page, its list read.
async function listed(page) {
  await page.getByRole("button", { name: "Connect" }).click();
  assert.equal(await command(page, "Get/Update List"), "");
}

async function imported(page, path, caption) {
  await open(page, path);
  await item(page, caption).click();
  const arrived = page.waitForEvent("download");
  assert.equal(await command(page, "Import"), "");
  const download = await arrived;
  return {
    name: download.suggestedFilename(),
    buffer: readFileSync(await download.path()),
  };
}

const stored = (name) => Buffer.from(name, "latin1");

test("a .lqd file's properties, and the rename of its data name", async (t) => {
  const { context, page, errors } = await openPage();
  await listed(page);
  const song = await imported(page, ["Song"], "DemoSong");
  assert.equal(song.name, "SNG_DemoSong.lqd");
  const dialog = page.getByRole("dialog", { name: "Property" });
  const field = dialog.getByLabel("Name:");

  const chooseFile = async (file) => {
    const chooser = page.waitForEvent("filechooser");
    await page.getByRole("button", { name: "Properties", exact: true }).click();
    await (await chooser).setFiles(file);
  };

  await t.test("the dialog shows type, size and name", async () => {
    await chooseFile({ ...song, mimeType: "application/octet-stream" });
    await dialog.waitFor();
    assert.equal(await dialog.locator(".file-name").textContent(), song.name);
    assert.equal(
      await dialog.locator(".facts").innerText(),
      `Type:\nSong\nSize:\n${song.buffer.length - 64}byte(s)\nName:`,
    );
    assert.equal(await field.inputValue(), "DemoSong");
    await dialog.getByRole("button", { name: "Cancel" }).click();
    assert.ok(await dialog.isHidden());
  });

  await t.test("typed names follow the dialog's rule", async () => {
    for (const [typed, shown] of [
      ["Ab~あcd", "Ab____cd"],
      ["ﾗﾌﾞ 1", "ﾗﾌﾞ 1"],
      ["Too long a name", "Too long"],
      ["Abcdefgあ", "Abcdefg_"],
      ["é{}", "__{}"],
    ]) {
      await chooseFile({ ...song, mimeType: "application/octet-stream" });
      await field.pressSequentially(typed);
      assert.equal(await field.inputValue(), shown, typed);
      await page.keyboard.press("Escape");
      assert.ok(await dialog.isHidden());
    }
  });

  await t.test("OK downloads the file with the new name", async () => {
    await chooseFile({ ...song, mimeType: "application/octet-stream" });
    await field.pressSequentially("Ab~あcd");
    const arrived = page.waitForEvent("download");
    await dialog.getByRole("button", { name: "OK" }).click();
    const download = await arrived;
    assert.equal(download.suggestedFilename(), song.name);
    const renamed = readFileSync(await download.path());
    const at = song.buffer.indexOf(stored("DemoSong"));
    assert.ok(at >= 0);
    assert.deepEqual(renamed.subarray(at, at + 8), stored("Ab____cd"));
    assert.deepEqual(
      Buffer.concat([renamed.subarray(0, at), renamed.subarray(at + 8)]),
      Buffer.concat([
        song.buffer.subarray(0, at),
        song.buffer.subarray(at + 8),
      ]),
    );

    // The renamed file shows its new name; OK on an empty one renames nothing.
    await chooseFile({ name: song.name, buffer: renamed, mimeType: "x/y" });
    assert.equal(await field.inputValue(), "Ab____cd");
    await field.fill("");
    let downloaded = false;
    page.once("download", () => (downloaded = true));
    await dialog.getByRole("button", { name: "OK" }).click();
    assert.ok(await dialog.isHidden());
    await page.waitForTimeout(200);
    assert.equal(downloaded, false);
  });

  await t.test("a file that is no .lqd file is named so", async () => {
    await chooseFile({
      name: "notes.lqd",
      mimeType: "text/plain",
      buffer: Buffer.from("no data here"),
    });
    await page.waitForFunction(
      () => document.getElementById("status").textContent !== "",
    );
    assert.equal(await status(page), "No LQD file");
    assert.ok(await dialog.isHidden());
  });

  assert.deepEqual(errors, []);
  await context.close();
});

// What a person's drag from the desktop carries: files in a DataTransfer.
async function drop(page, target, files) {
  const transfer = await page.evaluateHandle(
    (files) => {
      const transfer = new DataTransfer();
      for (const { name, bytes } of files)
        transfer.items.add(new File([new Uint8Array(bytes)], name));
      return transfer;
    },
    files.map(({ name, buffer }) => ({ name, bytes: [...buffer] })),
  );
  await target.dispatchEvent("dragenter", { dataTransfer: transfer });
  await target.dispatchEvent("dragover", { dataTransfer: transfer });
  await target.dispatchEvent("drop", { dataTransfer: transfer });
}

test("files dropped onto the keyboard list", async () => {
  const { context, page, errors } = await openPage();
  await listed(page);
  const song = await imported(page, ["Song"], "DemoSong");
  const rhythm = await imported(page, ["Rhythm"], "Bossa 2 ");
  await open(page, ["Song"]);

  // Not all of them .lqd files: nothing is sent.
  await drop(page, item(page, "Song 1"), [song, { ...song, name: "song.mid" }]);
  await page.waitForTimeout(200);
  assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
  assert.equal(await status(page), "");

  await drop(page, item(page, "Song 1"), [rhythm]);
  await idle(page);
  assert.equal(await status(page), "Data type is different");

  // Several fill the slot dropped on and the ones after it, checked whole.
  await drop(page, item(page, "Song 1"), [song, song]);
  await idle(page);
  assert.equal(await status(page), "Not acceptable");
  assert.deepEqual(await captions(page), ["DemoSong", "Song 1"]);
  await drop(page, item(page, "DemoSong"), [song, song]);
  await page.waitForFunction(
    () =>
      document.querySelectorAll('#items [aria-label="DemoSong"]').length === 2,
  );
  await idle(page);
  assert.equal(await status(page), "");
  assert.equal(
    await item(page, "DemoSong").first().getAttribute("aria-selected"),
    "true",
  );

  await drop(page, page.getByRole("listbox", { name: "Items" }), [song]);
  await idle(page);
  assert.equal(await status(page), "Not select a distination data");
  assert.deepEqual(errors, []);
  await context.close();
});

test("the site without a network, and as an app Chromium can install", async () => {
  // A server of its own, stopped before the page comes again; a profile on
  // the disk, as no app is installed from a private window.
  const { server, url: address } = await serveSite();
  const profile = temporaryFolder();
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: "/usr/bin/chromium",
    locale: "en-US",
  });
  try {
    const page = context.pages()[0] ?? (await context.newPage());
    const errors = [];
    page.on("pageerror", (error) => errors.push(error.message));
    await page.goto(address);
    await page.waitForSelector("html[data-ready]");
    await page.waitForFunction(() => navigator.serviceWorker.controller);

    const cdp = await context.newCDPSession(page);
    const { installabilityErrors } = await cdp.send(
      "Page.getInstallabilityErrors",
    );
    assert.deepEqual(installabilityErrors, []);
    const manifest = await cdp.send("Page.getAppManifest");
    assert.deepEqual(manifest.errors, []);

    server.kill();
    await context.setOffline(true);
    await page.reload();
    await page.waitForSelector("html[data-ready]");
    await listed(page);
    assert.ok(
      await page.getByRole("treeitem", { name: "Song Rhythm:\\" }).isVisible(),
    );
    assert.deepEqual(errors, []);
  } finally {
    await context.close();
    server.kill();
  }
});

// While the built-in simulator is chosen, a browser without MIDI ports says
// why in a calm note, since the simulator works; with a port chosen, that is
// an error.
test("Firefox's refusal until its site permission add-on is installed, a refusal, no Web MIDI", async () => {
  const firefox =
    "Mozilla/5.0 (X11; Linux x86_64; rv:140.0) Gecko/20100101 Firefox/140.0";
  const refused =
    "The browser refused access to MIDI devices; allow it in the site's settings and click Connect again.";
  const simulator = " The built-in simulator can still be used.";
  const cases = [
    [
      firefox,
      "SecurityError",
      "en-US",
      "Firefox allows MIDI only once its site permission add-on is installed: click Connect, accept the add-on Firefox offers, then reload the page and click Connect again." +
        simulator,
    ],
    [
      firefox,
      "NotAllowedError",
      "ja-JP",
      "Firefoxではサイト許可アドオンを入れるまでMIDIを使えないため、「接続」をクリックしてFirefoxが示すアドオンを許可し、ページを再読み込みしてからもう一度「接続」をクリックしてください。内蔵シミュレータは引き続き使用できます。",
    ],
    [undefined, "SecurityError", "en-US", refused + simulator],
    [undefined, "SecurityError", "en-US", refused, "USB MIDI"],
    [
      undefined,
      null,
      "en-US",
      "This browser has no Web MIDI, so it cannot talk to the keyboard; the built-in simulator can still be used.",
    ],
  ];
  for (const [userAgent, error, locale, text, port] of cases) {
    const { context, page, errors } = await openPage({ userAgent, locale });
    if (port) {
      await page.evaluate((port) => {
        localStorage.setItem("ravlin.input", port);
        localStorage.setItem("ravlin.output", port);
      }, port);
      await page.reload();
      await page.waitForSelector("html[data-ready]");
    }
    await page.evaluate((error) => {
      navigator.requestMIDIAccess = error
        ? () =>
            Promise.reject(
              new DOMException(
                "WebMIDI requires a site permission add-on to activate",
                error,
              ),
            )
        : undefined;
    }, error);
    await page.locator("#connect").click();
    await page.waitForFunction(
      () => document.getElementById("status").textContent !== "",
    );
    assert.equal(await status(page), text, `${userAgent} ${error}`);
    assert.equal(
      await page
        .locator("#status")
        .evaluate((line) => line.classList.contains("error")),
      port !== undefined,
      text,
    );
    assert.deepEqual(errors, []);
    await context.close();
  }
});
