// Back Up Keyboard... and Restore Keyboard...: the engine backs the whole
// keyboard up as one .zip (handed out as an import is) and reads such a
// .zip back with every check before its first message.
import type { Engine } from "./ravlin.js";

export interface BackupHost {
  engine(): Engine;
  texts: Record<string, string>;
  // The ports chosen, as the engine numbers them.
  devices(): [number, number];
  // Holds the commands while the file is read, and releases them.
  hold(): void;
  release(): void;
  // Starts a job as every command does.
  run(start: () => void): void;
}

const ui = {
  backUp: document.getElementById("backup") as HTMLButtonElement,
  restore: document.getElementById("restore") as HTMLButtonElement,
  archive: document.getElementById("archive") as HTMLInputElement,
};

export function enableBackup(enabled: boolean): void {
  ui.backUp.disabled = !enabled;
  ui.restore.disabled = !enabled;
}

export function wireBackup(host: BackupHost): void {
  ui.backUp.textContent = host.texts.backUp;
  ui.backUp.title = host.texts.backUpHint;
  ui.restore.textContent = host.texts.restore;
  ui.restore.title = host.texts.restoreHint;
  ui.backUp.addEventListener("click", () =>
    host.run(() => host.engine().backUp(...host.devices())),
  );
  ui.restore.addEventListener("click", () => ui.archive.click());
  ui.archive.addEventListener("change", () => {
    const file = ui.archive.files?.[0];
    ui.archive.value = "";
    if (!file) return;
    host.hold();
    void file.arrayBuffer().then((bytes) => {
      const archive = new Uint8Array(bytes);
      // Asked once, naming what is replaced; an archive that cannot be
      // restored asks nothing, and the restore says what is wrong with it.
      const question = host
        .engine()
        .restoreQuestion(archive, file.lastModified);
      if (question && !window.confirm(question)) {
        host.release();
        return;
      }
      host.run(() => host.engine().restore(archive, ...host.devices()));
    });
  });
}
