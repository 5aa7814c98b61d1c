// A .lqd file's properties, as the window's Properties dialog shows them for
// a file on the PC: type, size and the data name, which OK writes into the
// file. The page has no folder to write into: the renamed file is a download
// under the chosen file's name.
import type { FileProperties, RavlinModule } from "./ravlin.js";

type Texts = Record<string, string>;

interface Read {
  type?: string;
  size?: string;
  name?: string;
  error?: string;
}

const kFolder = "/properties/";

function make<K extends keyof HTMLElementTagNameMap>(
  tag: K,
  text = "",
): HTMLElementTagNameMap[K] {
  const made = document.createElement(tag);
  made.textContent = text;
  return made;
}

export function setUpProperties(
  module: RavlinModule,
  language: string,
  button: HTMLButtonElement,
  failed: (text: string) => void,
  download: (name: string, bytes: Uint8Array<ArrayBuffer>) => void,
): void {
  const properties: FileProperties = new module.FileProperties(language);
  const texts = JSON.parse(properties.texts()) as Texts;
  module.FS.mkdir(kFolder);

  const chooser = make("input");
  chooser.type = "file";
  chooser.accept = ".lqd";
  chooser.hidden = true;

  const dialog = make("dialog");
  dialog.id = "properties-dialog";
  const title = make("h2", texts.title);
  title.id = "properties-title";
  dialog.setAttribute("aria-labelledby", title.id);
  const fileName = make("p");
  fileName.className = "file-name";
  const type = make("output");
  const size = make("output");
  const field = make("input");
  field.id = "properties-name";
  field.maxLength = 8;
  field.autocomplete = "off";
  field.spellcheck = false;
  const nameLabel = make("label", texts.name);
  nameLabel.htmlFor = field.id;
  const facts = make("div");
  facts.className = "facts";
  facts.append(make("span", texts.type), type, make("span", texts.size), size);
  facts.append(nameLabel, field);
  const form = make("form");
  form.method = "dialog";
  const ok = make("button", texts.ok);
  ok.value = "ok";
  const cancel = make("button", texts.cancel);
  cancel.value = "cancel";
  cancel.type = "button";
  cancel.addEventListener("click", () => dialog.close(""));
  const buttons = make("div");
  buttons.className = "buttons";
  buttons.append(ok, cancel);
  form.append(title, fileName, facts, buttons);
  dialog.append(form);
  document.body.append(chooser, dialog);

  // The dialog's rule for the name, applied as it is typed.
  const filter = () => {
    const text = properties.filterName(field.value);
    if (text === field.value) return;
    const before = field.value.slice(0, field.selectionStart ?? undefined);
    const cursor = Math.min(properties.filterName(before).length, text.length);
    field.value = text;
    field.setSelectionRange(cursor, cursor);
  };
  field.addEventListener("input", (event) => {
    if (!(event as InputEvent).isComposing) filter();
  });
  field.addEventListener("compositionend", filter);

  // OK with an empty name is no rename, as in the window.
  const ask = () =>
    new Promise<boolean>((resolve) => {
      dialog.returnValue = "";
      dialog.addEventListener(
        "close",
        () => resolve(dialog.returnValue === "ok" && field.value !== ""),
        { once: true },
      );
      dialog.showModal();
      field.select();
    });

  const show = async (file: File) => {
    const path = kFolder + file.name.replace(/\//g, "_");
    module.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
    try {
      const read = JSON.parse(properties.read(path)) as Read;
      if (read.error !== undefined) {
        failed(read.error);
        return;
      }
      fileName.textContent = file.name;
      type.value = read.type ?? "";
      size.value = read.size ?? "";
      field.value = read.name ?? "";
      if (!(await ask())) return;
      const failure = properties.rename(path, field.value);
      if (failure) failed(failure);
      else download(file.name, module.FS.readFile(path));
    } finally {
      module.FS.unlink(path);
    }
  };

  button.textContent = texts.properties;
  button.addEventListener("click", () => chooser.click());
  chooser.addEventListener("change", () => {
    const file = chooser.files?.[0];
    chooser.value = "";
    if (file) void show(file);
  });
}
