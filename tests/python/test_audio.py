"""Sound from the Python package: what is heard (pitch, instrument, drums),
read back with Python's own wave module, and the notebook display with and
without a synthesizer. Renders with Debian's small FluidR3Mono font."""
import _thread
import base64
import io
import os
import random
import re
import subprocess
import threading
import time
import wave

import numpy
import pytest

import midicompose
from midicompose import AudioError, RenderStatus

FONT = "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3"


def channels(song, rate=44100):
    """The rendered sound, as read by the wave module: (frames of the two
    channels averaged, frames a second)."""
    with wave.open(io.BytesIO(song.wav(FONT, rate))) as reader:
        assert (reader.getnchannels(), reader.getsampwidth(), reader.getframerate()) == (2, 2, rate)
        frames = numpy.frombuffer(reader.readframes(reader.getnframes()), dtype="<i2").reshape(-1, 2)
    return frames.mean(axis=1), rate


def spectrum(samples, rate, start, size=32768):
    window = samples[start:start + size] * numpy.hanning(size)
    return numpy.abs(numpy.fft.rfft(window)), numpy.fft.rfftfreq(size, 1 / rate)


def fundamental(notes, instrument):
    """The lowest strong partial in the middle of the sound, in Hz."""
    samples, rate = channels(midicompose.compose(notes, instrument=instrument))
    magnitude, frequency = spectrum(samples, rate, len(samples) // 4)
    audible = frequency > 30
    at = numpy.nonzero(audible & (magnitude >= 0.3 * magnitude[audible].max()))[0][0]
    while magnitude[at + 1] > magnitude[at]:
        at += 1
    return frequency[at]


def test_notes_sound_at_their_pitch():
    # One held note each (a trailing space keeps a single note in beat notation).
    assert fundamental("A:4 ", "flute") == pytest.approx(440.0, rel=0.01)
    c4, c5 = fundamental("C:4 ", "flute"), fundamental("C5:4 ", "flute")
    assert c4 == pytest.approx(261.63, rel=0.01) and c5 / c4 == pytest.approx(2.0, rel=0.01)


def test_each_instrument_sounds_like_itself_and_drums_are_percussion():
    def centroid(instrument):
        samples, rate = channels(midicompose.compose("C:2 E G C5:2", instrument=instrument))
        magnitude = numpy.abs(numpy.fft.rfft(samples))
        return (magnitude * numpy.fft.rfftfreq(len(samples), 1 / rate)).sum() / magnitude.sum()

    def flatness(instrument):  # 1 for white noise, near 0 for a clear pitch
        samples, rate = channels(midicompose.compose("D2:2 ", instrument=instrument))
        magnitude = spectrum(samples, rate, 0, 16384)[0][1:2000] + 1e-9
        return numpy.exp(numpy.log(magnitude).mean()) / magnitude.mean()

    piano, violin = centroid("piano"), centroid("violin")
    assert centroid("acoustic_piano") == pytest.approx(piano, rel=0.01)  # the same program, another name
    assert violin / piano > 1.2, (piano, violin)
    assert flatness("drums") > 1.5 * flatness("piano")  # D2 on channel 10 is a snare drum


def test_the_wav_is_exactly_the_music_and_its_release():
    song = midicompose.compose("C:2 E G C5:2", instrument="violin")
    samples, rate = channels(song, 22050)
    assert 3.0 < len(samples) / rate < 5.0
    assert song.wav(FONT) == song.wav(FONT)
    assert [status.name for status in RenderStatus] == \
        [midicompose._audio_library().MIDIComposeRenderStatusName(status).decode() for status in RenderStatus]
    with pytest.raises(AudioError) as missing:
        song.wav("/nonexistent/font.sf2")
    assert isinstance(missing.value, RuntimeError) and missing.value.status is RenderStatus.RENDER_BAD_SOUNDFONT
    with pytest.raises(TypeError):
        song.wav(FONT, rate=44100.0)


def test_a_notebook_shows_the_roll_and_plays_the_sound_or_says_what_to_install(monkeypatch):
    monkeypatch.setenv("MIDICOMPOSE_SOUNDFONT", FONT)
    song = midicompose.compose("C:2 E G C5:2 D2", instrument="trumpet")
    page = song._repr_html_()
    assert page.count('class="note"') == 5
    assert ">C4<" in page and "trumpet (program 56)" in page
    embedded = base64.b64decode(re.search(r'<audio controls src="data:audio/mpeg;base64,([^"]+)"', page).group(1))
    assert embedded[:2] == b"\xff\xfb"  # an MPEG-1 layer III frame
    assert midicompose.compose("C2 D2", instrument="drums")._repr_html_().count('class="drum"') == 2

    # Without midicompose-audio: the roll, and one line that says what to install.
    monkeypatch.setenv("MIDICOMPOSE_AUDIO_LIBRARY", "/nonexistent/libmidicompose-audio.so")
    monkeypatch.setattr(midicompose, "_audio", None)
    page = song._repr_html_()
    assert "<svg" in page and "<audio controls" not in page and "libfluidsynth-dev" in page
    with pytest.raises(AudioError, match="libfluidsynth-dev") as unavailable:
        song.wav()
    assert unavailable.value.status is None


def test_a_notebook_keeps_a_long_song_small_and_a_browser_plays_it_at_its_length(monkeypatch, tmp_path):
    chromium = "/usr/bin/chromium"
    if not os.access(chromium, os.X_OK):
        (pytest.fail if os.environ.get("CI") else pytest.skip)("no Chromium (Debian package chromium)")
    monkeypatch.setenv("MIDICOMPOSE_SOUNDFONT", FONT)
    rng = random.Random(5)
    song = midicompose.compose(" ".join(rng.choice("CDEFGAB") + rng.choice(["", "5"]) + rng.choice([":0.5", ""])
                                        for _ in range(100)), instrument="piano")
    with wave.open(io.BytesIO(song.wav())) as reader:
        seconds = reader.getnframes() / reader.getframerate()
    page = song._repr_html_()
    assert seconds > 25 and len(page) <= 400_000, (seconds, len(page))
    # Chromium reads the player's length, which the page then writes in its title.
    (tmp_path / "song.html").write_text("<title>none</title>" + page + "<script>const a = document.querySelector"
                                        "('audio'); a.onloadedmetadata = () => document.title = a.duration;</script>")
    run = subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                          "--disable-component-update", "--disable-sync", "--no-first-run", "--mute-audio",
                          f"--user-data-dir={tmp_path / 'profile'}", "--virtual-time-budget=10000", "--dump-dom",
                          (tmp_path / "song.html").as_uri()], capture_output=True, text=True, timeout=120)
    assert float(re.search(r"<title>([^<]*)</title>", run.stdout).group(1)) == pytest.approx(seconds, abs=0.2)


def test_play_says_what_to_install_where_there_is_no_audio_output(tmp_path, monkeypatch):
    (tmp_path / ".asoundrc").write_text("pcm.!default { type hw card 63 }\n")  # ALSA's default: no device
    (tmp_path / "client.conf").write_text("autospawn = no\n")
    for name, value in (("HOME", tmp_path), ("XDG_RUNTIME_DIR", tmp_path), ("PULSE_CLIENTCONFIG", tmp_path / "client.conf")):
        monkeypatch.setenv(name, str(value))
    monkeypatch.delenv("PULSE_SERVER", raising=False)
    with pytest.raises(midicompose.AudioError, match="apt-get install pulseaudio") as raised:
        midicompose.compose("C").play(FONT)
    assert raised.value.status == midicompose.RenderStatus.RENDER_NO_OUTPUT


def test_keyboard_interrupt_stops_what_plays_at_once():
    def play(stop):  # as the library does: it looks at stop between blocks
        while not stop.value:
            time.sleep(0.01)
    threading.Timer(0.2, _thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt):
        midicompose._sound.until_heard(play)
