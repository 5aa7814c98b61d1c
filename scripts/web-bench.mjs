// The page's two figures for scripts/bench.sh: from navigation to the page
// ready (wasm loaded, Connect enabled) on localhost in headless Chromium,
// median of 9 fresh loads; and the site's size, gzip -9 of every file in
// dist/web. Run after scripts/web.sh build: node scripts/web-bench.mjs.
import { spawn } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { gzipSync } from "node:zlib";
import { chromium } from "playwright-core";
import { put } from "./bench-results.mjs";

const repo = join(dirname(fileURLToPath(import.meta.url)), "..");
const site = join(repo, "dist", "web");
const runs = 9;

const server = spawn(
  process.execPath,
  [join(repo, "scripts", "web-serve.mjs"), site, "0"],
  {
    stdio: ["ignore", "pipe", "inherit"],
  },
);
const url = await new Promise((resolve) =>
  server.stdout.once("data", (data) => resolve(String(data).trim())),
);
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium" });
const times = [];
try {
  for (let i = 0; i < runs; ++i) {
    // A fresh context each time: nothing comes from a cache.
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(url);
    await page.waitForSelector("#connect:enabled");
    times.push(
      await page.evaluate(
        () => performance.getEntriesByName("ravlin-ready")[0].startTime,
      ),
    );
    await context.close();
  }
} finally {
  await browser.close();
  server.kill();
}
times.sort((a, b) => a - b);
const median = times[Math.floor(runs / 2)];

const files = readdirSync(site);
const bytes = files.reduce(
  (sum, name) =>
    sum + gzipSync(readFileSync(join(site, name)), { level: 9 }).length,
  0,
);

put("fig10a.runs", runs);
put("fig10a.ready_s", median / 1000);
put("fig10a.ready_min_s", times[0] / 1000);
put("fig10a.ready_max_s", times[runs - 1] / 1000);
put("fig10b.files", files.length);
put("fig10b.bytes", bytes);
