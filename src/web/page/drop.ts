// .lqd files dragged from the desktop onto the item list: the row under the
// pointer is the target (none: the list's empty part). As the window's drop,
// all of the files are .lqd files or none is taken.
export function acceptDrops(
  list: HTMLElement,
  accepting: () => boolean,
  dropped: (row: HTMLElement | null, files: File[]) => void,
): void {
  let marked: HTMLElement | null = null;
  const mark = (row: HTMLElement | null) => {
    marked?.classList.remove("drop-target");
    marked = row;
    marked?.classList.add("drop-target");
  };
  const rowOf = (event: DragEvent) =>
    (event.target as HTMLElement).closest<HTMLElement>('[role="option"]');

  list.addEventListener("dragover", (event) => {
    if (!accepting() || !event.dataTransfer?.types.includes("Files")) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = "copy";
    mark(rowOf(event));
  });
  list.addEventListener("dragleave", (event) => {
    if (!list.contains(event.relatedTarget as Node | null)) mark(null);
  });
  list.addEventListener("drop", (event) => {
    mark(null);
    if (!accepting() || !event.dataTransfer) return;
    event.preventDefault();
    const files = [...event.dataTransfer.files];
    if (files.length === 0 || files.some((file) => !file.name.endsWith(".lqd")))
      return;
    dropped(rowOf(event), files);
  });
}
