// The General MIDI font, one slice a program (scripts/slice-font.mjs cuts
// them): the index first, then a program's slice when it is first wanted.
// Each is kept for the visit, and in the release's cache for the visits
// after it, offline too; a slice fetched before the service worker runs is
// put there by the page itself.

/** The slices in `folder`, kept in the cache named `cacheName`. */
export function fontSlices(folder, cacheName) {
  let index = null;
  const slices = new Map();  // program -> Promise of its bytes, or of null

  async function fetchKept(url) {
    const response = await fetch(url);
    if (response.ok && globalThis.caches) await (await caches.open(cacheName)).put(url, response.clone());
    return response;
  }
  const readIndex = () => (index ??= fetchKept(`${folder}/index.json`)
    .then((response) => (response.ok ? response.json() : null))
    .catch(() => null));

  return {
    /** The index's entry for the program ({file, bytes, preset, font}), or null. */
    async entry(program) {
      const found = await readIndex(), slice = found?.slices[program];
      return slice ? { ...slice, font: found.font } : null;
    },
    /** Whether the program's slice is here already. */
    has: (program) => slices.get(program)?.done === true,
    /** The program's slice, or null when there is none to be had; a
     * failed fetch is tried again the next time. */
    get(program) {
      if (!slices.has(program)) {
        const wanted = (async () => {
          const entry = await this.entry(program);
          if (!entry) return null;
          const response = await fetchKept(`${folder}/${entry.file}`);
          return response.ok ? new Uint8Array(await response.arrayBuffer()) : null;
        })().catch(() => null).then((bytes) => {
          if (bytes) wanted.done = true;
          else slices.delete(program);
          return bytes;
        });
        slices.set(program, wanted);
      }
      return slices.get(program);
    },
  };
}
