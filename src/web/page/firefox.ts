// Firefox grants Web MIDI through a site permission add-on that it offers
// when a page asks; until it is installed, the request is rejected as
// refused (a SecurityError, a NotAllowedError in later versions).
export function needsSitePermission(error: unknown): boolean {
  return (
    navigator.userAgent.includes("Firefox/") &&
    ["NotAllowedError", "SecurityError"].includes((error as Error).name)
  );
}
