// The playground's score panel: the latest song engraved while the panel is
// shown (the engraver is fetched when it is first opened), one engraving at
// a time, a song composed meanwhile engraved next; the engine's counts in
// words beneath it; the drawing as an .svg.
import { createScore } from './score.js';

const MAX_ENGRAVED_MEASURES = 1000;  // about a second of engraving on a laptop

/**
 * `latest()` is the page's latest song (null after an error), `notes()` its
 * note text; `engraved(notes, ms, song)` is told of each score drawn: its
 * engraved notes ({ element, index }, in order), the time since `began`
 * (the update's start, or the panel's opening) and the song it shows.
 */
export function scorePanel({ section, container, facts, svgButton, latest, notes, engraved: told }) {
  let score = null;     // null until the engraver has arrived
  let engraved = null;  // the song the score shows
  let engraving = false;

  const show = (text, drawn) => {
    facts.textContent = text;
    container.hidden = !drawn;
    section.classList.toggle('drawn', drawn);
    svgButton.disabled = !drawn;
  };

  async function engrave(began) {
    if (engraving) return;
    engraving = true;
    try {
      if (!score) facts.textContent = 'Loading the engraver…';
      score ??= await createScore(container);
      while (latest() && engraved !== latest()) {
        const wanted = latest();
        engraved = wanted;
        let written;
        try {
          written = wanted.score();
        } catch (error) {  // too long to write as a score: the engine's reason
          show(error.message, false);
          continue;
        }
        if (written.measures > MAX_ENGRAVED_MEASURES) {  // each would hold the page up for seconds
          show(`${written.measures} measures: the page engraves at most ${MAX_ENGRAVED_MEASURES}. ` +
               'Download the .musicxml for a notation program.', false);
          continue;
        }
        const shown = await score.show(wanted, written.musicxml);
        container.setAttribute('aria-label', `Score of the notes ${notes()}: the arrow keys walk its notes, Enter selects one's characters`);
        const moved = written.message ? `${written.message[0].toUpperCase()}${written.message.slice(1)}.`
                                      : 'Every note is written as it sounds.';
        show(`${written.measures} ${written.measures === 1 ? 'measure' : 'measures'}. ${moved}` +
             (written.leftOut ? ` ${written.leftOut} of no length at the end left out.` : ''), true);
        told(shown, performance.now() - began, wanted);
        began = performance.now();
      }
    } catch (error) {  // the engraver could not be fetched: opening the panel again tries again
      show(`${error.message} The piano roll shows the notes.`, false);
    } finally {
      engraving = false;
    }
  }

  return {
    engrave,
    /** Says why there is no score (the composition failed). */
    refuse: (message) => show(message, false),
    /** The drawing as SVG text, or null before there is one. */
    svg: () => {
      const drawing = container.querySelector('svg');
      return drawing ? new XMLSerializer().serializeToString(drawing) : null;
    },
  };
}
