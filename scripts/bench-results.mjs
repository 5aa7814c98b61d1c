// The figures a benchmark script hands to scripts/bench.sh, as the programs'
// BenchResults does: one "key value" line each, appended to the file that
// RAVLIN_BENCH_RESULTS names, else printed.
import { appendFileSync } from "node:fs";

export function put(key, value) {
  const line = `${key} ${value}\n`;
  if (process.env.RAVLIN_BENCH_RESULTS)
    appendFileSync(process.env.RAVLIN_BENCH_RESULTS, line);
  else process.stdout.write(line);
}
