// Per-call cost of compose() from the npm package in Node, for the chord and
// 100 notes. Usage: node node_bench.mjs NPM_PACKAGE_DIR
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const { compose } = await import(pathToFileURL(join(resolve(process.argv[2]), 'index.js')));
const names = ['C', 'D', 'E', 'F', 'G', 'A', 'B', 'C5'];
const cases = [['chord, 4 notes', 'C:2 E:1 G:1 C5:2'],
               ['100 notes', Array.from({ length: 100 }, (_, i) => names[i % 8]).join(' ')]];
for (const [what, notes] of cases) {
  await compose(notes, { instrument: 'violin' });  // instantiates the module once
  const runs = [];
  for (let round = 0; round < 5; round++) {
    const count = 5000, start = performance.now();
    for (let i = 0; i < count; i++) await compose(notes, { instrument: 'violin' });
    runs.push(((performance.now() - start) / count) * 1000);
  }
  runs.sort((a, b) => a - b);
  console.log(`node: compose(), ${what}: ${runs[2].toFixed(1)} us a call (median of 5 rounds)`);
}
