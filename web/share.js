// Share links with no server: the composition lives in the page's address
// (after #), so copying the address shares it and opening it restores it.
const FIELDS = ['notes', 'instrument', 'beats', 'view'];

/** The composition a link holds, or null when it holds none. */
export function readLink(hash = location.hash) {
  const params = new URLSearchParams(hash.replace(/^#/, ''));
  if (!params.has('notes')) return null;
  return Object.fromEntries(FIELDS.filter((f) => params.has(f)).map((f) => [f, params.get(f)]));
}

/** Puts the composition in the address without adding a history entry. */
export function writeLink(composition) {
  const params = new URLSearchParams(FIELDS.filter((f) => composition[f] !== undefined).map((f) => [f, composition[f]]));
  history.replaceState(null, '', `#${params.toString()}`);
}
