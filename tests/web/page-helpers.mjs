// What the page tests share: where the site and the command-line tool are,
// the site served on localhost, temporary folders, and a person's ways
// through the page: its buttons, the keyboard tree, the item list and the
// status line.
import { after, before } from "node:test";
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

export const repo = join(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const site = process.env.RAVLIN_WEB_SITE ?? join(repo, "dist", "web");
export const cli =
  process.env.RAVLIN_CLI ?? join(repo, "build", "src", "cli", "ravlin-cli");

// The site on a free port of 127.0.0.1: its address and its server process.
export async function serveSite() {
  const server = spawn(
    process.execPath,
    [join(repo, "scripts", "web-serve.mjs"), site, "0"],
    { stdio: ["ignore", "pipe", "inherit"] },
  );
  const url = await new Promise((resolve) =>
    server.stdout.once("data", (data) => resolve(String(data).trim())),
  );
  return { url, server };
}

const folders = [];
export function temporaryFolder() {
  const folder = mkdtempSync(join(tmpdir(), "ravlin-web-"));
  folders.push(folder);
  return folder;
}
export function removeTemporaryFolders() {
  for (const folder of folders.splice(0))
    rmSync(folder, { recursive: true, force: true });
}

export const button = (page, name) =>
  page.getByRole("button", { name, exact: true });
// Cancel is enabled exactly while a job runs.
export const idle = (page) =>
  page.waitForFunction(() => document.getElementById("cancel").disabled);
export const status = (page) => page.getByRole("status").textContent();

// Clicks a command's button and returns the status line once it has ended.
export async function command(page, name) {
  await button(page, name).click();
  await idle(page);
  return status(page);
}

export async function open(page, path) {
  for (const caption of path)
    await page.getByRole("treeitem", { name: caption, exact: true }).click();
}

export const rows = (page) =>
  page.getByRole("listbox", { name: "Items" }).getByRole("option");
export const item = (page, name) =>
  page
    .getByRole("listbox", { name: "Items" })
    .getByRole("option", { name, exact: true });
export const captions = (page) =>
  rows(page).evaluateAll((options) => options.map((row) => row.ariaLabel));

// Headless Chromium on the served site for the tests of one file: started
// before them, ended with the server and the temporary folders after them.
export function chromiumOnSite() {
  const state = {};
  before(async () => {
    Object.assign(state, await serveSite());
    state.browser = await chromium.launch({
      executablePath: "/usr/bin/chromium",
    });
  });
  after(async () => {
    await state.browser?.close();
    state.server?.kill();
    removeTemporaryFolders();
  });
  return {
    get url() {
      return state.url;
    },
    get browser() {
      return state.browser;
    },
    // A page of a fresh context (English unless `options` say otherwise),
    // ready for a click, and the page's errors as they come.
    async openPage(options = {}, address = state.url) {
      const context = await state.browser.newContext({
        locale: "en-US",
        ...options,
      });
      const page = await context.newPage();
      const errors = [];
      page.on("pageerror", (error) => errors.push(error.message));
      await page.goto(address);
      await page.waitForSelector("html[data-ready]");
      return { context, page, errors };
    },
  };
}
