// The page: MIDI ports, the keyboard tree and list, the commands. Every rule,
// name and text comes from the engine; this file only shows them.
import createRavlin, { type Engine, type RavlinModule } from "./ravlin.js";
import { enableBackup, wireBackup } from "./backup.js";
import { wireMonitor } from "./monitor.js";
import { acceptDrops } from "./drop.js";
import { needsSitePermission } from "./firefox.js";
import { keepForOffline } from "./offline.js";
import { setUpProperties } from "./properties.js";

type Texts = Record<string, string>;

interface Entry {
  caption: string;
  entries?: Entry[];
  address?: string;
  deletable?: boolean;
  present?: boolean;
  type?: string;
  size?: number;
}

interface Drive {
  caption: string;
  space: string;
  entries: Entry[];
}

interface Tree {
  listed: boolean;
  drives: Drive[];
}

// A folder of the tree: the root, a drive or a folder of slots.
interface Node {
  caption: string;
  path: string;
  entries: Entry[];
  space: string;
  children: Node[];
}

const kPagePort = 0;
const kBuiltInPort = 1;
const kBuiltInValue = "builtin";
const kStoredInput = "ravlin.input";
const kStoredOutput = "ravlin.output";

function element<T extends HTMLElement>(id: string): T {
  return document.getElementById(id) as T;
}

const ui = {
  connect: element<HTMLButtonElement>("connect"),
  detect: element<HTMLButtonElement>("detect"),
  input: element<HTMLSelectElement>("input"),
  output: element<HTMLSelectElement>("output"),
  list: element<HTMLButtonElement>("list"),
  import: element<HTMLButtonElement>("import"),
  send: element<HTMLButtonElement>("send"),
  delete: element<HTMLButtonElement>("delete"),
  cancel: element<HTMLButtonElement>("cancel"),
  properties: element<HTMLButtonElement>("properties"),
  file: element<HTMLInputElement>("file"),
  tree: element<HTMLUListElement>("tree"),
  space: element<HTMLParagraphElement>("space"),
  items: element<HTMLDivElement>("items"),
  progress: element<HTMLProgressElement>("progress"),
  status: element<HTMLDivElement>("status"),
};

let module: RavlinModule;
let engine: Engine;
let texts: Texts = {};
let access: MIDIAccess | null = null;
let connected = false;
let busy = false;
let input: MIDIInput | null = null;
let output: MIDIOutput | null = null;
let root: Node | null = null;
let current: Node | null = null;
let selected: Entry | null = null;
// The rows selected together (Ctrl or Shift with a click or an arrow key),
// `selected` being the one last clicked; empty when only `selected` is. A
// range reaches from `anchor`, the row last clicked without Shift.
let chosen: Entry[] = [];
let anchor: Entry | null = null;

function setStatus(text: string, error = false): void {
  ui.status.textContent = text;
  ui.status.classList.toggle("error", error);
}

function updateCommands(): void {
  const listed = root !== null && current !== null;
  ui.connect.disabled = busy;
  ui.detect.disabled = busy || !connected;
  ui.input.disabled = busy || !connected;
  ui.output.disabled = busy || !connected;
  ui.list.disabled = busy || !connected;
  ui.import.disabled = busy || !listed;
  ui.send.disabled = busy || !listed;
  ui.delete.disabled = busy || !listed || selected?.deletable !== true;
  ui.cancel.disabled = !busy;
  enableBackup(!busy && connected);
}

function applyTexts(): void {
  ui.connect.textContent = texts.connect;
  ui.detect.textContent = texts.detect;
  ui.detect.title = texts.detectHint;
  element("input-label").textContent = texts.input;
  element("output-label").textContent = texts.output;
  ui.list.textContent = texts.getList;
  ui.import.textContent = texts.import;
  ui.send.textContent = texts.send;
  ui.delete.textContent = texts.delete;
  ui.cancel.textContent = texts.cancel;
  ui.cancel.title = texts.cancelHint;
  ui.tree.setAttribute("aria-label", texts.keyboardMemory);
  ui.items.setAttribute("aria-label", texts.items);
  ui.progress.setAttribute("aria-label", texts.progress);
  element("column-name").textContent = texts.name;
  element("column-type").textContent = texts.type;
  element("column-size").textContent = texts.size;
}

// ---------------------------------------------------------------------------
// MIDI ports, chosen by name

function option(value: string, caption: string): HTMLOptionElement {
  const item = document.createElement("option");
  item.value = value;
  item.textContent = caption;
  return item;
}

// The ports of one direction as they are now, the simulator last; a port
// chosen before that is gone stays in the list, marked.
function fillPorts(
  select: HTMLSelectElement,
  ports: MIDIPort[],
  stored: string,
): void {
  const chosen = localStorage.getItem(stored) ?? kBuiltInValue;
  select.replaceChildren();
  const names = ports.map((port) => port.name ?? "");
  for (const name of names) select.append(option(name, name));
  if (chosen !== kBuiltInValue && !names.includes(chosen))
    select.append(option(chosen, chosen + texts.notConnected));
  select.append(option(kBuiltInValue, texts.builtIn));
  select.value = chosen;
}

function refreshPorts(): void {
  fillPorts(ui.input, access ? [...access.inputs.values()] : [], kStoredInput);
  fillPorts(
    ui.output,
    access ? [...access.outputs.values()] : [],
    kStoredOutput,
  );
  void usePorts();
}

function portNamed<T extends MIDIPort>(
  ports: Iterable<T> | undefined,
  name: string,
): T | null {
  for (const port of ports ?? []) if (port.name === name) return port;
  return null;
}

function onMessage(event: MIDIMessageEvent): void {
  if (event.data) engine.arrived(event.data, event.timeStamp);
}

// Opens the chosen ports; one that another program holds is named so.
async function usePorts(): Promise<void> {
  const newInput = portNamed(access?.inputs.values(), ui.input.value);
  const newOutput = portNamed(access?.outputs.values(), ui.output.value);
  if (input !== newInput) {
    if (input) input.onmidimessage = null;
    input = newInput;
    if (input) input.onmidimessage = onMessage;
  }
  output = newOutput;
  try {
    await Promise.all([input?.open(), output?.open()]);
  } catch {
    setStatus(texts.portBusy, true);
  }
}

function choosePort(select: HTMLSelectElement, stored: string): void {
  localStorage.setItem(stored, select.value);
  void usePorts();
}

// The ports of a detection: every Web MIDI port, in the order the browser
// lists them; the chosen ports are taken up again when it ends.
const probe = {
  inputs: [] as MIDIInput[],
  outputs: [] as MIDIOutput[],
  listInputs(): string[] {
    probe.inputs = access ? [...access.inputs.values()] : [];
    return probe.inputs.map((port) => port.name ?? "");
  },
  listOutputs(): string[] {
    probe.outputs = access ? [...access.outputs.values()] : [];
    return probe.outputs.map((port) => port.name ?? "");
  },
  openIn(index: number): boolean {
    const port = probe.inputs[index];
    if (!port) return false;
    port.onmidimessage = (event) => {
      if (event.data) engine.probeArrived(index, event.data);
    };
    return true;
  },
  send(index: number, bytes: Uint8Array): boolean {
    try {
      probe.outputs[index]?.send(bytes.slice());
      return probe.outputs[index] !== undefined;
    } catch {
      return false;
    }
  },
  close(): void {
    for (const port of probe.inputs) port.onmidimessage = null;
    input = null;
    void usePorts();
  },
};

function detected(ports: { input: string; output: string }): void {
  localStorage.setItem(kStoredInput, ports.input);
  localStorage.setItem(kStoredOutput, ports.output);
  refreshPorts();
}

// Without MIDI ports the simulator still works: while it is chosen, why
// there are none is a note, else an error.
function noPorts(
  text: string,
  note = texts.simulatorNote.replace("%1", text),
): void {
  const simulator =
    ui.input.value === kBuiltInValue && ui.output.value === kBuiltInValue;
  if (simulator) setStatus(note);
  else setStatus(text, true);
}

// Access is asked for only here, on the user's click.
async function connect(): Promise<void> {
  if (typeof navigator.requestMIDIAccess !== "function") {
    noPorts(texts.noWebMidi, texts.noWebMidi);
  } else {
    try {
      access = await navigator.requestMIDIAccess({ sysex: true });
      access.onstatechange = () => refreshPorts();
      setStatus("");
    } catch (error) {
      // Refused by the user or the site's settings; anything else is a
      // system without a MIDI service (Chromium with no sound devices).
      access = null;
      const refused = ["NotAllowedError", "SecurityError"].includes(
        (error as Error).name,
      );
      if (needsSitePermission(error)) noPorts(texts.firefoxPermission);
      else noPorts(refused ? texts.midiRefused : texts.noMidiService);
    }
  }
  connected = true;
  refreshPorts();
  updateCommands();
}

// The view lies on the module's memory: the port gets a copy. A port that
// is gone throws.
function sendOut(bytes: Uint8Array): boolean {
  try {
    output?.send(bytes.slice());
    return output !== null;
  } catch {
    return false;
  }
}

function deviceOf(select: HTMLSelectElement): number {
  return select.value === kBuiltInValue ? kBuiltInPort : kPagePort;
}

// ---------------------------------------------------------------------------
// The keyboard tree and the item list

function nodeOf(
  caption: string,
  path: string,
  entries: Entry[],
  space: string,
): Node {
  const node: Node = { caption, path, entries, space, children: [] };
  for (const entry of entries) {
    if (entry.entries)
      node.children.push(
        nodeOf(entry.caption, path + "/" + entry.caption, entry.entries, space),
      );
  }
  return node;
}

function findNode(node: Node, path: string): Node | null {
  if (node.path === path) return node;
  for (const child of node.children) {
    const found = findNode(child, path);
    if (found) return found;
  }
  return null;
}

function showTree(): void {
  const tree = JSON.parse(engine.tree()) as Tree;
  const path = current?.path;
  const address = selected?.address;
  chosen = [];
  anchor = null;
  if (!tree.listed) {
    root = current = selected = null;
  } else {
    root = {
      caption: texts.model,
      path: "",
      entries: [],
      space: "",
      children: [],
    };
    root.entries = tree.drives.map((drive) => ({
      caption: drive.caption,
      entries: drive.entries,
    }));
    root.children = tree.drives.map((drive) =>
      nodeOf(drive.caption, "/" + drive.caption, drive.entries, drive.space),
    );
    current =
      (path !== undefined && findNode(root, path)) || root.children[0] || root;
  }
  renderTree();
  renderItems(address);
}

function treeItem(node: Node): HTMLLIElement {
  const item = document.createElement("li");
  item.setAttribute("role", "treeitem");
  item.setAttribute("aria-selected", String(node === current));
  item.tabIndex = node === current ? 0 : -1;
  item.setAttribute("aria-label", node.caption);
  const label = document.createElement("span");
  label.textContent = node.caption;
  item.append(label);
  if (node.children.length > 0) {
    item.setAttribute("aria-expanded", "true");
    const group = document.createElement("ul");
    group.setAttribute("role", "group");
    for (const child of node.children) group.append(treeItem(child));
    item.append(group);
  }
  item.addEventListener("click", (event) => {
    event.stopPropagation();
    selectNode(node, true);
  });
  return item;
}

function renderTree(): void {
  ui.tree.replaceChildren(...(root ? [treeItem(root)] : []));
  ui.space.textContent = current?.space ?? "";
}

function selectNode(node: Node, focus: boolean): void {
  current = node;
  selected = anchor = null;
  chosen = [];
  renderTree();
  renderItems(undefined);
  if (focus)
    ui.tree.querySelector<HTMLElement>('[aria-selected="true"]')?.focus();
}

function visibleNodes(node: Node, out: Node[] = []): Node[] {
  out.push(node);
  for (const child of node.children) visibleNodes(child, out);
  return out;
}

function moveInTree(event: KeyboardEvent): void {
  if (!root || !current) return;
  const nodes = visibleNodes(root);
  const at = nodes.indexOf(current);
  const to: Record<string, number> = {
    ArrowDown: at + 1,
    ArrowUp: at - 1,
    Home: 0,
    End: nodes.length - 1,
  };
  const next = nodes[to[event.key] ?? -1];
  if (!next) return;
  event.preventDefault();
  selectNode(next, true);
}

function renderItems(address: string | undefined): void {
  ui.items.replaceChildren();
  const entries = current?.entries ?? [];
  selected =
    entries.find((entry) => address && entry.address === address) ?? null;
  entries.forEach((entry) => {
    const row = document.createElement("div");
    row.setAttribute("role", "option");
    row.setAttribute("aria-label", entry.caption);
    row.setAttribute(
      "aria-selected",
      String(chosen.length > 0 ? chosen.includes(entry) : entry === selected),
    );
    row.id = "item-" + entries.indexOf(entry);
    // The row's name is its caption; its type and size follow under their
    // columns' headers.
    row.setAttribute(
      "aria-describedby",
      ["column-type", row.id + "-type", "column-size", row.id + "-size"].join(
        " ",
      ),
    );
    row.classList.toggle("folder", entry.entries !== undefined);
    row.classList.toggle("empty", entry.present === false);
    const cells = [
      entry.caption,
      entry.entries ? texts.folder : (entry.type ?? ""),
      entry.size !== undefined ? String(entry.size) : "",
    ];
    for (const [i, text] of cells.entries()) {
      const cell = document.createElement("span");
      cell.className = ["name", "type", "size"][i];
      cell.id = row.id + "-" + cell.className;
      cell.textContent = text;
      row.append(cell);
    }
    row.addEventListener("click", (event) =>
      selectItem(
        entry,
        event.shiftKey ? "range" : event.ctrlKey || event.metaKey ? "add" : "",
      ),
    );
    row.addEventListener("dblclick", () => openItem(entry));
    ui.items.append(row);
  });
  if (selected)
    ui.items.setAttribute(
      "aria-activedescendant",
      "item-" + entries.indexOf(selected),
    );
  else ui.items.removeAttribute("aria-activedescendant");
  updateCommands();
}

// With Shift the rows from the anchor to `entry` are selected; with Ctrl
// (Cmd) `entry` is added or taken away.
function selectItem(entry: Entry, extend: "" | "range" | "add" = ""): void {
  const entries = current?.entries ?? [];
  if (extend === "range" && anchor && entries.includes(anchor)) {
    const [from, to] = [entries.indexOf(anchor), entries.indexOf(entry)].sort(
      (a, b) => a - b,
    );
    chosen = entries.slice(from, to + 1);
  } else if (extend === "add") {
    const rows = chosen.length > 0 ? chosen : selected ? [selected] : [];
    chosen = rows.includes(entry)
      ? rows.filter((row) => row !== entry)
      : entries.filter((row) => row === entry || rows.includes(row));
    anchor = entry;
  } else {
    chosen = [];
    anchor = entry;
  }
  renderItems(entry.address);
  if (!entry.address) {
    // A folder has no address: it is marked by itself.
    selected = entry;
    const row = ui.items.children[current?.entries.indexOf(entry) ?? -1];
    row?.setAttribute("aria-selected", "true");
    ui.items.setAttribute("aria-activedescendant", row?.id ?? "");
    updateCommands();
  }
  ui.items.focus();
}

function openItem(entry: Entry): void {
  if (!entry.entries || !current) return;
  const node = current.children.find(
    (child) => child.caption === entry.caption,
  );
  if (node) selectNode(node, false);
}

function moveInItems(event: KeyboardEvent): void {
  const entries = current?.entries ?? [];
  if (entries.length === 0) return;
  if (event.key === "Enter" && selected) {
    event.preventDefault();
    openItem(selected);
    return;
  }
  const at = selected ? entries.indexOf(selected) : -1;
  const to: Record<string, number> = {
    ArrowDown: Math.min(at + 1, entries.length - 1),
    ArrowUp: Math.max(at - 1, 0),
    Home: 0,
    End: entries.length - 1,
  };
  const next = entries[to[event.key] ?? -1];
  if (!next) return;
  event.preventDefault();
  selectItem(next, event.shiftKey ? "range" : "");
}

// ---------------------------------------------------------------------------
// Commands and what the engine tells of them

// The commands wait while a job's files are read.
function hold(): void {
  busy = true;
  updateCommands();
}

// The commands are back when a job does not start after all.
function release(): void {
  busy = false;
  updateCommands();
}

function run(start: () => void): void {
  busy = true;
  updateCommands();
  setStatus("");
  start();
}

function download(name: string, bytes: Uint8Array<ArrayBuffer>): void {
  const url = URL.createObjectURL(
    new Blob([bytes], { type: "application/octet-stream" }),
  );
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

// The files go into the slot at `address` and the ones after it.
async function sendFiles(files: File[], address: string): Promise<void> {
  if (files.length === 0) return;
  hold();
  const paths: string[] = [];
  for (const file of files) {
    const path = "/send/" + file.name.replace(/\//g, "_");
    module.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
    paths.push(path);
  }
  run(() => engine.send(address, paths));
}

// Dropped files go into the slot under the pointer, as the window's drop.
function sendDropped(row: HTMLElement | null, files: File[]): void {
  const entry = row
    ? current?.entries[[...ui.items.children].indexOf(row)]
    : undefined;
  if (entry) selectItem(entry);
  void sendFiles(files, entry?.address ?? "");
}

// The rows selected, in the list's order.
function chosenAddresses(): string[] {
  const rows = chosen.length > 0 ? chosen : selected ? [selected] : [];
  return rows.map((entry) => entry.address ?? "");
}

function onEvent(kind: string, json: string): void {
  const detail: unknown = JSON.parse(json);
  switch (kind) {
    case "status":
      setStatus(detail as string);
      break;
    case "progress": {
      const { position, maximum } = detail as {
        position: number;
        maximum: number;
      };
      ui.progress.max = Math.max(maximum, 1);
      ui.progress.value = position;
      break;
    }
    case "imported": {
      const { name, path } = detail as { name: string; path: string };
      const bytes = module.FS.readFile(path);
      module.FS.unlink(path);
      download(name, bytes);
      break;
    }
    case "detected":
      detected(detail as { input: string; output: string });
      break;
    case "failed":
      setStatus(detail as string, true);
      break;
    case "cancelled":
      setStatus(detail as string);
      break;
    case "listChanged":
      showTree();
      break;
    case "ended":
      busy = false;
      updateCommands();
      break;
  }
}

function wire(): void {
  ui.connect.addEventListener("click", () => void connect());
  ui.detect.addEventListener("click", () => run(() => engine.detect()));
  ui.input.addEventListener("change", () => choosePort(ui.input, kStoredInput));
  ui.output.addEventListener("change", () =>
    choosePort(ui.output, kStoredOutput),
  );
  ui.list.addEventListener("click", () =>
    run(() => engine.getList(deviceOf(ui.input), deviceOf(ui.output))),
  );
  ui.import.addEventListener("click", () =>
    run(() => engine.importItems(chosenAddresses())),
  );
  ui.send.addEventListener("click", () => ui.file.click());
  ui.file.addEventListener("change", () => {
    const files = [...(ui.file.files ?? [])];
    ui.file.value = "";
    void sendFiles(files, selected?.address ?? "");
  });
  acceptDrops(ui.items, () => !busy && root !== null, sendDropped);
  ui.delete.addEventListener("click", () =>
    run(() => engine.deleteItem(selected?.address ?? "")),
  );
  ui.cancel.addEventListener("click", () => engine.cancel());
  ui.tree.addEventListener("keydown", moveInTree);
  ui.items.addEventListener("keydown", moveInItems);
  document.addEventListener("keydown", (event) => {
    if (event.key === "Escape" && busy) engine.cancel();
  });
}

async function start(): Promise<void> {
  const language = navigator.language.toLowerCase().startsWith("ja")
    ? "ja"
    : "en";
  document.documentElement.lang = language;
  module = await createRavlin();
  const timer = new Worker(new URL("./timer.js", import.meta.url));
  engine = new module.Engine(language, {
    send: sendOut,
    wake: (delayMs) => timer.postMessage(delayMs),
    event: onEvent,
    probeInputs: () => probe.listInputs(),
    probeOutputs: () => probe.listOutputs(),
    probeOpenIn: (index) => probe.openIn(index),
    probeOpenOut: (index) => probe.outputs[index] !== undefined,
    probeSend: (index, bytes) => probe.send(index, bytes),
    probeClose: () => probe.close(),
  });
  timer.onmessage = () => engine.tick();
  texts = JSON.parse(engine.texts()) as Texts;
  applyTexts();
  setUpProperties(
    module,
    language,
    ui.properties,
    (text) => setStatus(text, true),
    download,
  );
  fillPorts(ui.input, [], kStoredInput);
  fillPorts(ui.output, [], kStoredOutput);
  wire();
  wireBackup({
    engine: () => engine,
    texts,
    devices: () => [deviceOf(ui.input), deviceOf(ui.output)],
    hold,
    release,
    run,
  });
  wireMonitor(engine, texts, download);
  updateCommands();
  document.documentElement.dataset.ready = "true";
  performance.mark("ravlin-ready");
  keepForOffline();
}

void start();
