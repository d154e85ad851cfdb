// The playground's engraver, beside the page: OpenSheetMusicDisplay's one
// built file (VexFlow and its other dependencies are inside it), and the
// licences of every package installed with it, in one text.
// Usage: node copy-engraver.mjs NODE_MODULES OUT_DIR
import { copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [modules, out] = process.argv.slice(2);
mkdirSync(out, { recursive: true });
copyFileSync(join(modules, 'opensheetmusicdisplay/build/opensheetmusicdisplay.min.js'), join(out, 'opensheetmusicdisplay.min.js'));

const packages = readdirSync(modules).filter((name) => !name.startsWith('.'))
  .flatMap((name) => (name.startsWith('@') ? readdirSync(join(modules, name)).map((inner) => `${name}/${inner}`) : [name]));
const texts = packages.sort().map((name) => {
  const folder = join(modules, name), { version, license } = JSON.parse(readFileSync(join(folder, 'package.json'), 'utf8'));
  const file = readdirSync(folder).find((f) => /^(licen[cs]e|copying)(\.|$)/i.test(f));
  const text = file && existsSync(join(folder, file)) ? readFileSync(join(folder, file), 'utf8').trim() : `Licence: ${license}`;
  return `${name} ${version} (${license})\n\n${text}\n`;
});
writeFileSync(join(out, 'LICENSES.txt'), `The score view's engraver and what it is built from.\n\n${texts.join(`\n${'='.repeat(72)}\n\n`)}`);
