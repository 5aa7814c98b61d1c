// The page keeps working without a network once it has been loaded: its
// service worker (sw.ts) keeps the site. A browser without one, or an origin
// that is no secure context, simply goes without.
export function keepForOffline(): void {
  if (!("serviceWorker" in navigator)) return;
  navigator.serviceWorker.register("./sw.js").catch(() => undefined);
}
