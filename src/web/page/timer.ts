// The engine's deadlines: a dedicated worker's timers are not slowed down in
// a hidden tab, as the page's own are. A message with a delay in ms sets the
// one timer (a negative one clears it); the worker answers when it fires.
const scope = self as unknown as {
  onmessage: ((event: MessageEvent<number>) => void) | null;
  postMessage(message: unknown): void;
};
let timer: ReturnType<typeof setTimeout> | undefined;

scope.onmessage = (event) => {
  clearTimeout(timer);
  timer = undefined;
  if (event.data >= 0)
    timer = setTimeout(() => scope.postMessage(null), event.data);
};
