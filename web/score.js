// The score view: song.musicxml() engraved by OpenSheetMusicDisplay, whose
// one built file (1.3 MB, VexFlow inside) is fetched only when the view is
// first opened. Each engraved note is traced back to the composition's note
// it is a piece of, so the notes a warning is about are marked on the score
// as on the roll, and the page can light, mark and name each note.

const ENGRAVER = 'engraver/opensheetmusicdisplay.min.js';
const SVG = 'http://www.w3.org/2000/svg';
let engraver = null;

// A classic script (the engraver is a UMD bundle): it defines
// globalThis.opensheetmusicdisplay. A failed fetch may be tried again.
function loadEngraver() {
  return (engraver ??= new Promise((resolve, reject) => {
    const script = Object.assign(document.createElement('script'), { src: ENGRAVER });
    script.onload = () => resolve(globalThis.opensheetmusicdisplay);
    script.onerror = () => {
      script.remove();
      engraver = null;
      reject(new Error('The score\'s engraver could not be fetched.'));
    };
    document.head.append(script);
  }));
}

// The engraved notes in time order, each with the index of the composition's
// note it belongs to: pieces tied on from an earlier one belong to that one;
// grace notes are notes of their own. (A score holds one voice with no
// chords, and only its last measure has rests.)
function tracedNotes(sheet) {
  const found = [];
  for (const [measure] of sheet.MeasureList) {
    for (const entry of measure?.staffEntries ?? []) {
      for (const voice of entry.graphicalVoiceEntries) {
        for (const engraved of voice.notes) {
          const note = engraved.sourceNote;
          if (note.isRest()) continue;
          found.push({ engraved, at: note.getAbsoluteTimestamp().RealValue, grace: voice.parentVoiceEntry.IsGrace,
                       tiedOn: Boolean(note.NoteTie && note.NoteTie.StartNote !== note) });
        }
      }
    }
  }
  found.sort((a, b) => a.at - b.at || Number(b.grace) - Number(a.grace));
  let index = -1;
  return found.map(({ engraved, tiedOn }) => ({ element: engraved.getSVGGElement(), index: tiedOn ? index : ++index }));
}

/** Puts the engraver, once asked for, into the service worker's cache: asked
 * for before the worker took the page over, it went by the worker. */
export async function keepEngraver(cacheName) {
  if (!engraver || !(await engraver.then(() => true, () => false))) return;
  await (await caches.open(cacheName)).add(ENGRAVER);
}

/** The score drawn into `container`, once the engraver has arrived. */
export async function createScore(container) {
  const { OpenSheetMusicDisplay } = await loadEngraver();
  const osmd = new OpenSheetMusicDisplay(container, {
    autoResize: false, backend: 'svg', drawTitle: false, drawPartNames: false, drawCredits: false,
  });
  return {
    /** Engraves the song; the warnings' notes are outlined, with the
     * warnings as their titles. Returns the engraved notes in order, each
     * { element, index } (tied pieces after the first of their note). */
    async show(song, musicxml) {
      await osmd.load(musicxml);
      osmd.render();
      const notes = tracedNotes(osmd.GraphicSheet);
      const remarks = new Map();
      for (const w of song.warnings) if (w.note !== null) remarks.set(w.note, [...(remarks.get(w.note) ?? []), w.message]);
      for (const { element, index } of notes) {
        element.dataset.note = index;
        const remark = remarks.get(index);
        if (!remark) continue;
        element.classList.add('warned');
        const title = document.createElementNS(SVG, 'title');
        title.textContent = `${song.timeline[index].name}: ${remark.join('; ')}`;
        element.prepend(title);
      }
      return notes;
    },
  };
}
