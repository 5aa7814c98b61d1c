// The site for use without a network: every file of the site is kept when
// the worker installs, and served from there before the network is asked.
// web.sh builds it with the site's files and a version taken from their
// bytes, so that a changed site installs a new worker and a new copy.
declare const SITE_FILES: string[];
declare const SITE_VERSION: string;

interface WaitingEvent extends Event {
  waitUntil(work: Promise<unknown>): void;
}

interface FetchingEvent extends WaitingEvent {
  request: Request;
  respondWith(response: Promise<Response>): void;
}

const worker = self as unknown as {
  registration: { scope: string };
  skipWaiting(): Promise<void>;
  clients: { claim(): Promise<void> };
  addEventListener(
    type: "install" | "activate",
    listener: (event: WaitingEvent) => void,
  ): void;
  addEventListener(
    type: "fetch",
    listener: (event: FetchingEvent) => void,
  ): void;
};

// One origin may host several copies of the site: each keeps its own.
const prefix = `ravlin ${worker.registration.scope} `;
const current = prefix + SITE_VERSION;

worker.addEventListener("install", (event) => {
  event.waitUntil(
    caches
      .open(current)
      // Past the HTTP cache, which may still hold files of an older site.
      .then((cache) =>
        cache.addAll(
          SITE_FILES.map((file) => new Request(file, { cache: "reload" })),
        ),
      )
      .then(() => worker.skipWaiting()),
  );
});

worker.addEventListener("activate", (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((names) =>
        Promise.all(
          names
            .filter((name) => name.startsWith(prefix) && name !== current)
            .map((name) => caches.delete(name)),
        ),
      )
      .then(() => worker.clients.claim()),
  );
});

worker.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  event.respondWith(
    caches
      .open(current)
      .then((cache) => cache.match(event.request, { ignoreSearch: true }))
      .then((kept) => kept ?? fetch(event.request)),
  );
});
