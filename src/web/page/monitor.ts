// The MIDI monitor: the engine's rows of every message on the keyboard's
// link (strays and failures marked), shown while the panel is open and not
// paused, cleared, and saved as a message log.
import type { Engine } from "./ravlin.js";

interface Row {
  time: string;
  direction: string;
  dir: string;
  length: string;
  meaning: string;
  bytes: string;
}

const kRefreshMs = 100;
const kLogName = "ravlin.log";

const ui = {
  toggle: document.getElementById("monitor-toggle") as HTMLButtonElement,
  panel: document.getElementById("monitor") as HTMLElement,
  title: document.getElementById("monitor-title") as HTMLElement,
  pause: document.getElementById("monitor-pause") as HTMLButtonElement,
  clear: document.getElementById("monitor-clear") as HTMLButtonElement,
  save: document.getElementById("monitor-save") as HTMLButtonElement,
  count: document.getElementById("monitor-count") as HTMLElement,
  head: document.getElementById("monitor-head") as HTMLTableRowElement,
  rows: document.getElementById("monitor-rows") as HTMLTableSectionElement,
};

export function wireMonitor(
  engine: Engine,
  texts: Record<string, string>,
  download: (name: string, bytes: Uint8Array<ArrayBuffer>) => void,
): void {
  let timer: ReturnType<typeof setInterval> | undefined;
  const paused = () => ui.pause.getAttribute("aria-pressed") === "true";
  const showCount = () => {
    ui.count.textContent = texts.messages.replace(
      "%1",
      String(ui.rows.rows.length),
    );
  };

  const refresh = () => {
    const { count, rows } = JSON.parse(engine.monitorTake()) as {
      count: number;
      rows: Row[];
    };
    if (rows.length === 0) return;
    const view = ui.panel.querySelector<HTMLElement>(".monitor-view");
    const atEnd =
      view !== null && view.scrollTop + view.clientHeight >= view.scrollHeight;
    for (const row of rows) {
      const line = ui.rows.insertRow();
      line.classList.toggle("stray", row.dir === "~");
      line.classList.toggle("failure", row.dir === "!");
      for (const text of [
        row.time,
        row.direction,
        row.length,
        row.meaning,
        row.bytes,
      ])
        line.insertCell().textContent = text;
    }
    while (ui.rows.rows.length > count) ui.rows.deleteRow(0);
    if (atEnd && view) view.scrollTop = view.scrollHeight;
    showCount();
  };

  const show = (shown: boolean) => {
    ui.panel.hidden = !shown;
    ui.toggle.setAttribute("aria-pressed", String(shown));
    engine.watch(shown);
    clearInterval(timer);
    timer = undefined;
    if (shown) {
      refresh();
      timer = setInterval(() => {
        if (!paused()) refresh();
      }, kRefreshMs);
    }
  };

  ui.toggle.textContent = texts.monitor;
  ui.title.textContent = texts.monitor;
  ui.panel.setAttribute("aria-label", texts.monitor);
  ui.pause.textContent = texts.pause;
  ui.pause.title = texts.pauseHint;
  ui.clear.textContent = texts.clear;
  ui.save.textContent = texts.saveAs;
  for (const key of [
    "columnTime",
    "columnDirection",
    "columnLength",
    "columnMeaning",
    "columnBytes",
  ]) {
    const cell = document.createElement("th");
    cell.scope = "col";
    cell.textContent = texts[key];
    ui.head.append(cell);
  }
  showCount();

  ui.toggle.addEventListener("click", () =>
    show(ui.panel.hasAttribute("hidden")),
  );
  ui.pause.addEventListener("click", () => {
    ui.pause.setAttribute("aria-pressed", String(!paused()));
    if (!paused()) refresh();
  });
  ui.clear.addEventListener("click", () => {
    engine.monitorClear();
    ui.rows.replaceChildren();
    showCount();
  });
  ui.save.addEventListener("click", () =>
    download(kLogName, new TextEncoder().encode(engine.monitorLog())),
  );
}
