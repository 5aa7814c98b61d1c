// The engine module that em++ builds (src/web/WebBindings.cpp).
export interface EngineHost {
  send(bytes: Uint8Array): boolean;
  wake(delayMs: number): void;
  event(kind: string, json: string): void;
  probeInputs(): string[];
  probeOutputs(): string[];
  probeOpenIn(input: number): boolean;
  probeOpenOut(output: number): boolean;
  probeSend(output: number, bytes: Uint8Array): boolean;
  probeClose(): void;
}

export interface Engine {
  texts(): string;
  tree(): string;
  busy(): boolean;
  arrived(bytes: Uint8Array, atMs: number): void;
  probeArrived(input: number, bytes: Uint8Array): void;
  detect(): void;
  tick(): void;
  getList(inDevice: number, outDevice: number): void;
  importItems(addresses: string[]): void;
  send(address: string, paths: string[]): void;
  deleteItem(address: string): void;
  cancel(): void;
  backUp(inDevice: number, outDevice: number): void;
  restore(archive: Uint8Array, inDevice: number, outDevice: number): void;
  restoreQuestion(archive: Uint8Array, madeMs: number): string;
  watch(shown: boolean): void;
  monitorTake(): string;
  monitorClear(): void;
  monitorLog(): string;
}

export interface FileProperties {
  texts(): string;
  read(path: string): string;
  filterName(text: string): string;
  rename(path: string, name: string): string;
}

export interface RavlinModule {
  Engine: new (language: string, host: EngineHost) => Engine;
  FileProperties: new (language: string) => FileProperties;
  FS: {
    readFile(path: string): Uint8Array<ArrayBuffer>;
    writeFile(path: string, data: Uint8Array): void;
    unlink(path: string): void;
    mkdir(path: string): void;
  };
}

export default function createRavlin(): Promise<RavlinModule>;
