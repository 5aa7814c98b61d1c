// A stand-in for the Web MIDI API that a page test puts into the page before
// its scripts (tests/web/harness.mjs), never part of the site: it carries the
// messages over a WebSocket to webmidi-bridge, which holds real MIDI ports
// (protocol in tests/web/bridge/WebMidiBridge.h). The harness calls
// installWebMidiStandIn(options) in a scope of its own; options:
//   url      the bridge, "ws://127.0.0.1:PORT"
//   refuse   requestMIDIAccess() rejects as when the user says no
//   held     names of ports that another program holds (open() rejects with
//            "InvalidAccessError"), or true for every port
//   missing  no Web MIDI at all, as in Safari
// It behaves as Chromium does where the standard leaves a choice: the maps
// hold the ports that are connected, a port keeps its object and id when it
// comes back, an input opens when it gets a midimessage listener and an
// output at its first send(). Ports are opened at the bridge only when the
// page opens them, as a browser opens a device only then.
function installWebMidiStandIn(options) {
  "use strict";

  if (options.missing) {
    delete Navigator.prototype.requestMIDIAccess;
    return;
  }

  // Bytes of a whole message after each status byte but SysEx; 0: not allowed.
  const lengths = new Map([
    [0xf1, 2],
    [0xf2, 3],
    [0xf3, 2],
    [0xf6, 1],
    [0xf8, 1],
    [0xfa, 1],
    [0xfb, 1],
    [0xfc, 1],
    [0xfe, 1],
    [0xff, 1],
  ]);

  function messageLength(status) {
    if (status < 0xf0) return status >= 0xc0 && status < 0xe0 ? 2 : 3;
    return lengths.get(status) ?? 0;
  }

  // What MIDIOutput.send accepts: a sequence of octets (converted as WebIDL
  // does, modulo 256) holding whole messages.
  function checkedBytes(data) {
    if (
      data === null ||
      typeof data !== "object" ||
      !(Symbol.iterator in data)
    ) {
      throw new TypeError(
        "Failed to execute 'send' on 'MIDIOutput': not a sequence",
      );
    }
    const bytes = Uint8Array.from(data, Number);
    const fail = (what, at) => {
      throw new TypeError(
        `Failed to execute 'send' on 'MIDIOutput': ${what} at index ${at}.`,
      );
    };
    for (let i = 0; i < bytes.length;) {
      const status = bytes[i];
      if (status < 0x80) fail("Running status is not allowed", i);
      if (status === 0xf0) {
        let end = i + 1;
        for (; end < bytes.length && bytes[end] !== 0xf7; ++end) {
          if (bytes[end] >= 0x80 && bytes[end] < 0xf8)
            fail("Unexpected status byte", end);
        }
        if (end === bytes.length)
          fail("System exclusive message is not ended", i);
        i = end + 1;
        continue;
      }
      const length = messageLength(status);
      if (length === 0)
        fail(`Message ${status.toString(16)} is not allowed`, i);
      if (i + length > bytes.length) fail("Message is incomplete", i);
      for (let j = i + 1; j < i + length; ++j) {
        if (bytes[j] >= 0x80) fail("Unexpected status byte", j);
      }
      i += length;
    }
    return bytes;
  }

  // An event handler attribute ("onstatechange") beside addEventListener.
  function handlerAttribute(prototype, type) {
    const handlers = new WeakMap();
    Object.defineProperty(prototype, "on" + type, {
      configurable: true,
      enumerable: true,
      get() {
        return handlers.get(this) ?? null;
      },
      set(handler) {
        const old = handlers.get(this);
        if (old) this.removeEventListener(type, old);
        handlers.set(this, typeof handler === "function" ? handler : null);
        if (typeof handler === "function") this.addEventListener(type, handler);
      },
    });
  }

  class MIDIConnectionEvent extends Event {
    #port;
    constructor(type, init) {
      super(type, init);
      this.#port = init.port;
    }
    get port() {
      return this.#port;
    }
  }

  class MIDIMessageEvent extends Event {
    #data;
    #time;
    constructor(type, init) {
      super(type, init);
      this.#data = init.data;
      this.#time = init.timeStamp;
    }
    get data() {
      return this.#data;
    }
    get timeStamp() {
      return this.#time;
    }
  }

  // The one link to the bridge that every MIDIAccess of the page shares.
  class Bridge {
    ports = new Map(); // id -> MIDIPort, every port ever seen
    accesses = new Set();
    #socket;
    #offset = 0; // performance.now() minus the bridge's time
    #requests = new Map(); // req -> resolve of an "open"
    #nextRequest = 1;

    static #connecting = null;

    static connect() {
      Bridge.#connecting ??= new Promise((resolve, reject) => {
        const bridge = new Bridge();
        const socket = new WebSocket(options.url);
        bridge.#socket = socket;
        socket.onerror = () => {
          Bridge.#connecting = null;
          reject(
            new DOMException(
              "The MIDI service cannot be reached.",
              "AbortError",
            ),
          );
        };
        // The clocks are set against each other by the quickest of a few
        // asks for the bridge's time, as NTP does.
        let asked = 0;
        let quickest = Infinity;
        const askTime = () => {
          asked = performance.now();
          bridge.post({ type: "time" });
        };
        let answers = 0;
        socket.onmessage = (event) => {
          const message = JSON.parse(event.data);
          if (message.type === "hello") {
            for (const port of message.ports) bridge.#portChanged(port);
            askTime();
          } else if (message.type === "time") {
            const now = performance.now();
            if (now - asked < quickest) {
              quickest = now - asked;
              bridge.#offset = (asked + now) / 2 - message.now;
            }
            if (++answers < 5) askTime();
            else resolve(bridge);
          } else {
            bridge.#receive(message);
          }
        };
        socket.onclose = () => {
          Bridge.#connecting = null;
          for (const port of bridge.ports.values())
            port._changed("disconnected");
        };
      });
      return Bridge.#connecting;
    }

    post(message) {
      if (this.#socket.readyState === WebSocket.OPEN)
        this.#socket.send(JSON.stringify(message));
    }

    // Resolves with the DOMException name the bridge failed with, or null.
    open(id) {
      const req = this.#nextRequest++;
      return new Promise((resolve) => {
        this.#requests.set(req, resolve);
        this.post({ type: "open", req, id });
      });
    }

    dispatch(port, event) {
      port.dispatchEvent(event);
      for (const access of this.accesses) {
        access.dispatchEvent(new MIDIConnectionEvent("statechange", { port }));
      }
    }

    #portChanged(description) {
      let port = this.ports.get(description.id);
      if (!port) {
        const Kind = description.type === "input" ? MIDIInput : MIDIOutput;
        port = new Kind(this, description);
        this.ports.set(description.id, port);
      }
      port._changed(description.state);
    }

    #receive(message) {
      if (message.type === "statechange") {
        this.#portChanged(message.port);
      } else if (message.type === "opened") {
        this.#requests.get(message.req)?.(message.error ?? null);
        this.#requests.delete(message.req);
      } else if (message.type === "midimessage") {
        const timeStamp = message.time + this.#offset;
        this.ports
          .get(message.id)
          ?._deliver(Uint8Array.from(message.data), timeStamp);
      }
    }
  }

  class MIDIPort extends EventTarget {
    #bridge;
    #id;
    #name;
    #type;
    #state = "disconnected";
    #connection = "closed";
    #opening = null;

    constructor(bridge, description) {
      super();
      this.#bridge = bridge;
      this.#id = description.id;
      this.#name = description.name;
      this.#type = description.type;
    }

    get id() {
      return this.#id;
    }
    get name() {
      return this.#name;
    }
    get manufacturer() {
      return "";
    }
    get version() {
      return "";
    }
    get type() {
      return this.#type;
    }
    get state() {
      return this.#state;
    }
    get connection() {
      return this.#connection;
    }

    open() {
      if (this.#connection === "open") return Promise.resolve(this);
      if (this.#opening) return this.#opening;
      if (options.held === true || (options.held ?? []).includes(this.#name)) {
        return Promise.reject(
          new DOMException(
            `Port "${this.#name}" is used by another program.`,
            "InvalidAccessError",
          ),
        );
      }
      if (this.#state === "disconnected") {
        this.#setConnection("pending");
        return Promise.resolve(this);
      }
      this.#opening = this.#bridge.open(this.#id).then((error) => {
        this.#opening = null;
        if (error)
          throw new DOMException(
            `Port "${this.#name}" cannot be opened.`,
            error,
          );
        this.#setConnection("open");
        return this;
      });
      return this.#opening;
    }

    close() {
      if (this.#connection !== "closed") {
        this.#bridge.post({ type: "close", id: this.#id });
        this.#setConnection("closed");
      }
      return Promise.resolve(this);
    }

    _send(bytes) {
      this.#bridge.post({
        type: "send",
        id: this.#id,
        data: Array.from(bytes),
      });
    }

    // The bridge closes a port that goes; one that comes back is opened
    // again if the page had it open.
    _changed(state) {
      if (state === this.#state) return;
      this.#state = state;
      if (state === "disconnected" && this.#connection === "open") {
        this.#connection = "pending";
      }
      this.#bridge.dispatch(
        this,
        new MIDIConnectionEvent("statechange", { port: this }),
      );
      if (state === "connected" && this.#connection === "pending") {
        this.#connection = "closed";
        this.open().catch(() => {});
      }
    }

    #setConnection(connection) {
      this.#connection = connection;
      this.#bridge.dispatch(
        this,
        new MIDIConnectionEvent("statechange", { port: this }),
      );
    }
  }
  handlerAttribute(MIDIPort.prototype, "statechange");

  class MIDIInput extends MIDIPort {
    addEventListener(type, listener, ...rest) {
      super.addEventListener(type, listener, ...rest);
      if (type === "midimessage" && listener) this.open().catch(() => {});
    }

    _deliver(data, timeStamp) {
      if (this.connection !== "open") return;
      this.dispatchEvent(
        new MIDIMessageEvent("midimessage", { data, timeStamp }),
      );
    }
  }
  handlerAttribute(MIDIInput.prototype, "midimessage");

  class MIDIOutput extends MIDIPort {
    #waiting = 0; // messages sent before the port was open

    // The message leaves at once, as a browser hands it on, unless it is to
    // wait for its time or for the port to open (after those before it).
    send(data, timestamp = 0) {
      const bytes = checkedBytes(data);
      if (this.state === "disconnected") {
        throw new DOMException(
          `Port "${this.name}" is not connected.`,
          "InvalidStateError",
        );
      }
      const delay = timestamp - performance.now();
      const go = () =>
        delay > 0
          ? setTimeout(() => this._send(bytes), delay)
          : this._send(bytes);
      if (this.connection === "open" && this.#waiting === 0) {
        go();
        return;
      }
      ++this.#waiting;
      this.open().then(
        () => {
          --this.#waiting;
          go();
        },
        () => --this.#waiting,
      );
    }

    clear() {}
  }

  // A live view of the bridge's connected ports of one type.
  class MIDIPortMap {
    #bridge;
    #type;
    constructor(bridge, type) {
      this.#bridge = bridge;
      this.#type = type;
    }
    #ports() {
      return [...this.#bridge.ports.values()].filter(
        (p) => p.type === this.#type && p.state === "connected",
      );
    }
    get size() {
      return this.#ports().length;
    }
    get(id) {
      return this.#ports().find((p) => p.id === id);
    }
    has(id) {
      return this.get(id) !== undefined;
    }
    keys() {
      return this.#ports()
        .map((p) => p.id)
        .values();
    }
    values() {
      return this.#ports().values();
    }
    entries() {
      return this.#ports()
        .map((p) => [p.id, p])
        .values();
    }
    forEach(callback, thisArg) {
      for (const p of this.#ports()) callback.call(thisArg, p, p.id, this);
    }
    [Symbol.iterator]() {
      return this.entries();
    }
  }

  class MIDIAccess extends EventTarget {
    #bridge;
    constructor(bridge) {
      super();
      this.#bridge = bridge;
      bridge.accesses.add(this);
    }
    get inputs() {
      return new MIDIPortMap(this.#bridge, "input");
    }
    get outputs() {
      return new MIDIPortMap(this.#bridge, "output");
    }
    get sysexEnabled() {
      return true;
    }
  }
  handlerAttribute(MIDIAccess.prototype, "statechange");

  Object.defineProperty(navigator, "requestMIDIAccess", {
    configurable: true,
    writable: true,
    value: function requestMIDIAccess(request) {
      if (options.refuse) {
        return Promise.reject(
          new DOMException("Permission denied.", "NotAllowedError"),
        );
      }
      // The page needs SysEx; access without it would fail only later.
      if (!request?.sysex) {
        return Promise.reject(
          new DOMException(
            "SysEx access was not asked for.",
            "NotAllowedError",
          ),
        );
      }
      return Bridge.connect().then((bridge) => new MIDIAccess(bridge));
    },
  });
}
