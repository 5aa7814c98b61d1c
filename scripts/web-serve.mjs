// A static server for the page, on localhost only (a secure context, as Web
// MIDI requires): node scripts/web-serve.mjs FOLDER PORT. Port 0 takes a free
// one; the first line printed is the page's address.
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, resolve } from "node:path";

const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".wasm": "application/wasm",
  ".webmanifest": "application/manifest+json",
  ".png": "image/png",
};

const root = resolve(process.argv[2] ?? "dist/web");
const port = Number(process.argv[3] ?? 8080);

const server = createServer(async (request, response) => {
  const path = decodeURIComponent(
    new URL(request.url, "http://localhost").pathname,
  );
  const file = join(
    root,
    normalize(path.endsWith("/") ? path + "index.html" : path),
  );
  if (!file.startsWith(root)) {
    response.writeHead(403).end();
    return;
  }
  try {
    const body = await readFile(file);
    response.writeHead(200, {
      "Content-Type": types[extname(file)] ?? "application/octet-stream",
      "Cache-Control": "no-cache",
    });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});

server.listen(port, "127.0.0.1", () => {
  console.log(`http://localhost:${server.address().port}/`);
});
