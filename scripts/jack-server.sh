# Sourced by the test scripts: a private JACK server on the dummy driver (no
# sound hardware needed), under a name of its own so that it never meets
# another server on the machine, stopped by its process id.

jack_server_start() {
  export JACK_DEFAULT_SERVER="ravlin-test-$$"
  export JACK_NO_AUDIO_RESERVATION=1
  JACK_SERVER_LOG="${TMPDIR:-/tmp}/$JACK_DEFAULT_SERVER.log"
  # Realtime mode (the default) and 512-frame periods (10.7 ms): without
  # realtime the server drops cycles, and shorter periods give xruns on a
  # busy machine (measured with two test programs at once on two loaded
  # cores: 32 frames lost messages in half the end-to-end tests, 128 in a
  # tenth; 256 in none of one run of the end-to-end tests on a fresh server,
  # but in two of three runs on one server, 512 in none of four). An xrun
  # loses MIDI messages silently.
  jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 512 >"$JACK_SERVER_LOG" 2>&1 &
  JACK_SERVER_PID=$!
  for _ in $(seq 1 100); do
    if jack_lsp >/dev/null 2>&1; then return 0; fi
    if ! kill -0 "$JACK_SERVER_PID" 2>/dev/null; then break; fi
    sleep 0.1
  done
  echo "warning: the JACK server $JACK_DEFAULT_SERVER did not start; the end-to-end tests will fail:" >&2
  cat "$JACK_SERVER_LOG" >&2
  jack_server_stop
}

jack_server_stop() {
  if [ -n "${JACK_SERVER_PID:-}" ]; then
    kill "$JACK_SERVER_PID" 2>/dev/null || true
    wait "$JACK_SERVER_PID" 2>/dev/null || true
    JACK_SERVER_PID=
  fi
}
