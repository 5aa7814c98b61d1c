// The Web MIDI stand-in and webmidi-bridge in a blank page against trv408-sim
// on the JACK server, as the page tests use them.

import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { openPage } from "./harness.mjs";

// The keyboard-type read as the program sends it (KeyboardProbe::TypeRequest).
const typeRead = [
  0xf0, 0x44, 0x11, 0x01, 0x7f, 0x10, 0x00, 0x0d, 0x00, 0x00, 0x00, 0xf7,
];
const limit = 5000; // only against a test that hangs

let session;
before(async () => {
  session = await openPage();
});
after(async () => {
  await session?.close();
});

// In the page: opens the simulator's ports, sends the type read and resolves
// with the first answer and the times around it.
function typeReadInPage(page) {
  return page.evaluate(
    async ({ sim, typeRead }) => {
      const access = await navigator.requestMIDIAccess({ sysex: true });
      const input = [...access.inputs.values()].find(
        (p) => p.name === sim.output,
      );
      const output = [...access.outputs.values()].find(
        (p) => p.name === sim.input,
      );
      const answer = new Promise((resolve) => {
        input.onmidimessage = (event) => resolve([event, performance.now()]);
      });
      await input.open();
      await output.open();
      const sent = performance.now();
      output.send(typeRead);
      const [event, handled] = await answer;
      return {
        isBytes: event.data instanceof Uint8Array,
        data: [...event.data],
        timeStamp: event.timeStamp,
        sent,
        handled,
        connection: input.connection,
      };
    },
    {
      sim: { input: session.sim.input, output: session.sim.output },
      typeRead,
    },
  );
}

test("the ports are listed with the names the desktop shows", async () => {
  const listed = await session.page.evaluate(async () => {
    const access = await navigator.requestMIDIAccess({ sysex: true });
    const names = (map) =>
      [...map.values()].map((p) => `${p.type} ${p.name} ${p.state}`);
    const viaForEach = [];
    access.inputs.forEach((port, id) => viaForEach.push(id === port.id));
    return {
      inputs: names(access.inputs),
      outputs: names(access.outputs),
      sizes: [access.inputs.size, access.outputs.size],
      keys: [...access.inputs.keys()].every(
        (id) => access.inputs.get(id).id === id,
      ),
      entries: [...access.outputs].every(
        ([id, p]) => access.outputs.has(id) && p.id === id,
      ),
      viaForEach,
    };
  });
  const cli = spawnSync(
    process.env.RAVLIN_CLI ?? "build/src/cli/ravlin-cli",
    ["devices"],
    {
      env: { ...session.env, RAVLIN_MIDI_API: "jack" },
      encoding: "utf8",
    },
  );
  assert.equal(cli.status, 0, cli.stderr);
  const desktop = (kind, type) =>
    cli.stdout
      .split("\n")
      .filter(
        (line) => line.startsWith(`${kind}\t`) && !line.endsWith("(built-in)"),
      )
      .map((line) => `${type} ${line.split("\t")[2]} connected`);
  assert.deepEqual(listed.inputs, desktop("in", "input"));
  assert.deepEqual(listed.outputs, desktop("out", "output"));
  assert.ok(listed.inputs.includes(`input ${session.sim.output} connected`));
  assert.ok(listed.outputs.includes(`output ${session.sim.input} connected`));
  assert.deepEqual(listed.sizes, [listed.inputs.length, listed.outputs.length]);
  assert.ok(listed.keys && listed.entries);
  assert.deepEqual(
    listed.viaForEach,
    listed.inputs.map(() => true),
  );
});

test("a type read sent to the simulator gets its answer", async () => {
  const result = await typeReadInPage(session.page);
  assert.ok(result.isBytes);
  assert.deepEqual(result.data.slice(0, 7), typeRead.slice(0, 7));
  assert.equal(result.data.length, 14);
  assert.equal(result.data.at(-1), 0xf7);
  assert.equal(
    result.data[11] | (result.data[12] << 7),
    0,
    "the TRV-408's type",
  );
  // On the page's clock, between the send and the handler; the page reads
  // its clock in steps of 0.1 ms.
  const stamped = JSON.stringify(result);
  assert.ok(result.sent <= result.timeStamp, stamped);
  assert.ok(result.timeStamp <= result.handled + 0.2, stamped);
  assert.equal(result.connection, "open");
});

test("send() rejects what is not whole MIDI messages with a TypeError", async () => {
  const outcomes = await session.page.evaluate(async (simInput) => {
    const access = await navigator.requestMIDIAccess({ sysex: true });
    const output = [...access.outputs.values()].find(
      (p) => p.name === simInput,
    );
    const cases = {
      "running status": [0x90, 0x40, 0x7f, 0x41, 0x7f, 0x00],
      "SysEx not ended": [0xf0, 0x44],
      "status inside SysEx": [0xf0, 0x44, 0x90, 0xf7],
      "end without start": [0xf7],
      "note cut short": [0x90, 0x40],
      "data byte with its top bit": [0x90, 0x40, 0x80],
      "reserved status": [0xf4],
      "not a sequence": 0x90,
      string: "F07F",
      "note, then a clock inside SysEx": [
        0x90, 0x40, 0x7f, 0xf0, 0x01, 0xf8, 0xf7,
      ],
      "octets wrap as WebIDL converts them": [0x190, 0x40, 0x7f],
    };
    const result = {};
    for (const [name, data] of Object.entries(cases)) {
      try {
        output.send(data);
        result[name] = "sent";
      } catch (error) {
        result[name] = error.constructor.name;
      }
    }
    return result;
  }, session.sim.input);
  const sent = [
    "note, then a clock inside SysEx",
    "octets wrap as WebIDL converts them",
  ];
  for (const [name, outcome] of Object.entries(outcomes)) {
    assert.equal(outcome, sent.includes(name) ? "sent" : "TypeError", name);
  }
});

test("ports of a simulator that stops are disconnected, and come back with their ids", async () => {
  const page = session.page;
  await page.evaluate(async (sim) => {
    const access = await navigator.requestMIDIAccess({ sysex: true });
    window.changes = [];
    access.onstatechange = (event) =>
      window.changes.push(
        `${event.port.name} ${event.port.state} ${event.port.connection}`,
      );
    window.access = access;
    window.simPorts = [
      [...access.inputs.values()].find((p) => p.name === sim.output),
      [...access.outputs.values()].find((p) => p.name === sim.input),
    ];
  }, session.sim);
  await session.sim.stop();
  await page.waitForFunction(
    () => simPorts.every((p) => p.state === "disconnected"),
    null,
    {
      timeout: limit,
    },
  );
  const gone = await page.evaluate(() => ({
    changes,
    listed: [...access.inputs.values(), ...access.outputs.values()].filter(
      (p) => simPorts.includes(p),
    ).length,
  }));
  // Both were open (the type read above): an open port waits to be opened again.
  assert.deepEqual(gone.changes.sort(), [
    `${session.sim.input} disconnected pending`,
    `${session.sim.output} disconnected pending`,
  ]);
  assert.equal(gone.listed, 0);

  await session.sim.start();
  await page.waitForFunction(
    () => simPorts.every((p) => p.connection === "open"),
    null,
    {
      timeout: limit,
    },
  );
  const back = await page.evaluate(() =>
    simPorts.map(
      (p) =>
        (p.type === "input" ? access.inputs : access.outputs).get(p.id) === p,
    ),
  );
  assert.deepEqual(back, [true, true]);
  const result = await typeReadInPage(page);
  assert.equal(result.data.length, 14);
});

// Refused access, a held port and a browser without Web MIDI are proved
// through the page by page-bridge.test.mjs; a page never asks without SysEx.
test("access without SysEx is refused", async () => {
  const asked = await session.page.evaluate(() =>
    navigator.requestMIDIAccess({}).then(
      () => "granted",
      (error) => `${error.constructor.name} ${error.name}`,
    ),
  );
  assert.equal(asked, "DOMException NotAllowedError");
});
