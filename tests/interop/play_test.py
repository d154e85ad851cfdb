#!/usr/bin/python3
"""--play and song.play() through a real sound server: a PulseAudio daemon of
this test's own (a private runtime folder, a null sink, stopped by its pid at
the end) records what they play from the sink's monitor with parec. Each
100 ms window of the WAV --wav writes is found in the recording, channel for
channel (the median of the best normalised correlations at least 0.95,
where the other channel and another instrument's WAV are not), the sound
lasts as long within 100 ms, and its last 200 ms are the WAV's, though
--play is held up (SIGSTOP) for 0.4 s while it plays, as a busy machine
may hold it. Without
a server or an ALSA device: RENDER_NO_OUTPUT (38), what to install, the MIDI
file written; with ALSA's null device and no server, the sound goes there.
Ctrl-C stops --play at once (130), and a server that goes away fails it (38).
Usage: play_test.py COMMAND AUDIO_LIBRARY LIBRARY PYTHON_SOURCE"""
import filecmp
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

command, audio_library, library, python_source = sys.argv[1:5]
if shutil.which("pulseaudio") is None or shutil.which("parec") is None:
    print("no pulseaudio or parec (Debian packages pulseaudio, pulseaudio-utils)",
          file=open(os.environ.get("MIDICOMPOSE_SKIP_FILE", os.devnull), "a"))
    sys.exit(1 if os.environ.get("CI") else 77)
import numpy  # noqa: E402  (Debian's python3-numpy, after the skip)

RATE, WINDOW = 44100, 4410
work = tempfile.mkdtemp(prefix="midicompose-play-")
server, quiet = os.path.join(work, "server"), os.path.join(work, "none")
os.makedirs(server), os.makedirs(quiet)
with open(os.path.join(work, "client.conf"), "w") as conf:
    conf.write("autospawn = no\n")
env = dict(os.environ, XDG_RUNTIME_DIR=server, HOME=work, PULSE_CLIENTCONFIG=os.path.join(work, "client.conf"),
           MIDICOMPOSE_AUDIO_LIBRARY=audio_library, MIDICOMPOSE_LIBRARY=library, PYTHONPATH=python_source)
env.pop("PULSE_SERVER", None)
subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "--load=module-native-protocol-unix",
                "--load=module-null-sink sink_name=test"], env=env, check=True, stderr=subprocess.DEVNULL)
# Left alone, the null sink wakes every 2 s, and a stream that starts while it
# sleeps loses its first 0.1 s; silence asking for 20 ms keeps it awake, as a
# sound card would be.
keeper = subprocess.Popen(["pacat", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2", "--latency-msec=20",
                           "/dev/zero"], env=env)
time.sleep(1)


def heard(raw):
    """The left and right channels from the first sample that sounds to the
    last (the null sink passes them bit for bit)."""
    samples = numpy.frombuffer(raw, dtype="<i2").astype(float).reshape(-1, 2)  # in steps, so the quietest still count
    loud = numpy.flatnonzero(numpy.abs(samples).max(axis=1) > 0)
    return samples[loud[0]:loud[-1] + 1].T if loud.size else samples[:0].T


def recorded(run):
    """What the sink played while run() ran, from the first sound on; and run's result."""
    path = os.path.join(work, "recording.raw")
    with open(path, "wb") as out:
        parec = subprocess.Popen(["parec", "-d", "test.monitor", "--format=s16le", f"--rate={RATE}", "--channels=2",
                                  "--raw"], env=env, stdout=out)
        time.sleep(0.5)
        result = run()
        time.sleep(2.5)  # the null sink's own latency is 2 s
        parec.terminate()
        parec.wait()
    with open(path, "rb") as raw:
        return heard(raw.read()), result


def best(recording, wav, at):
    """The best normalised correlation of the WAV's 100 ms window at `at`
    found within 100 ms of its place in the recording; 0 where the
    recording has ended before it."""
    window, segment = wav[at:at + WINDOW], recording[max(0, at - WINDOW):at + 2 * WINDOW]
    if segment.size < WINDOW or recording.size < at + WINDOW // 2:
        return 0.0
    spectrum = numpy.fft.rfft(segment, 2 * segment.size) * numpy.conj(numpy.fft.rfft(window, 2 * segment.size))
    products = numpy.fft.irfft(spectrum)[:segment.size - WINDOW + 1]
    energy = numpy.convolve(segment ** 2, numpy.ones(WINDOW), "valid")
    return float(numpy.max(products / numpy.sqrt(energy * numpy.dot(window, window) + 1e-12)))


def match(recording, wav):
    """The median over the WAV's sounding 100 ms windows of best()."""
    return float(numpy.median([best(recording, wav, at) for at in range(0, wav.size - WINDOW, WINDOW)
                               if wav[at:at + WINDOW].any()]))


def wav_of(path):
    with open(path, "rb") as raw:
        return heard(raw.read()[44:])


try:
    notes = "C:2 E:1 G:1 C5:2"
    for instrument in ("violin", "flute"):
        subprocess.run([command, "--wav", os.path.join(work, f"{instrument}.wav"), notes, os.path.join(work, "x.mid"),
                        instrument], env=env, check=True, stdout=subprocess.DEVNULL)
    violin, flute = wav_of(os.path.join(work, "violin.wav")), wav_of(os.path.join(work, "flute.wav"))

    def held_up():
        player = subprocess.Popen([command, "--play", notes, os.path.join(work, "played.mid"), "violin"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        time.sleep(1.5)
        player.send_signal(signal.SIGSTOP)
        time.sleep(0.4)
        player.send_signal(signal.SIGCONT)
        stderr = player.communicate()[1]
        return player.returncode, stderr
    by_command, (status, stderr) = recorded(held_up)
    by_python, _ = recorded(lambda: subprocess.run([sys.executable, "-c", "import midicompose; midicompose.compose("
                                                    f"'{notes}', instrument='violin').play()"], env=env, check=True))
    figures = []
    for who, sound in (("--play", by_command), ("song.play()", by_python)):
        same = [match(sound[c], violin[c]) for c in (0, 1)]
        crossed, other = max(match(sound[c], violin[1 - c]) for c in (0, 1)), match(sound[0], flute[0])
        tail = min(best(sound[c], violin[c], violin.shape[1] - k * WINDOW) for c in (0, 1) for k in (1, 2))
        figures.append(f"{who}: left {same[0]:.3f}, right {same[1]:.3f} (crossed {crossed:.3f}, the flute's WAV {other:.3f}), "
                       f"last 200 ms {tail:.3f}, {sound.shape[1] / RATE:.2f} s of {violin.shape[1] / RATE:.2f}")
        assert min(same) >= 0.95 and crossed < 0.95 and other < 0.95 and tail >= 0.95, figures[-1]
        assert abs(sound.shape[1] - violin.shape[1]) <= RATE / 10, figures[-1]
    assert status == 0 and os.path.exists(os.path.join(work, "played.mid")), stderr

    # Ctrl-C stops the sound at once, the MIDI file and the WAV whole; a server that goes away is an output that failed.
    daemon = open(os.path.join(server, "pulse", "pid")).read().split()[0]
    subprocess.run([command, "--wav", os.path.join(work, "long.wav"), "C:16 D:16", os.path.join(work, "long.mid")], env=env,
                   check=True, stdout=subprocess.DEVNULL)
    for stop, status in ((lambda player: player.send_signal(2), 130), (lambda player: os.kill(int(daemon), 9), 38)):
        player = subprocess.Popen([command, "--play", "--wav", os.path.join(work, f"long{status}.wav"), "C:16 D:16",
                                   os.path.join(work, f"long{status}.mid")], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        time.sleep(2)
        stop(player)
        stopped = time.monotonic()
        assert player.wait(timeout=5) == status and time.monotonic() - stopped < 1, player.stderr.read()
        assert os.path.getsize(os.path.join(work, f"long{status}.mid")) > 0
        assert filecmp.cmp(os.path.join(work, f"long{status}.wav"), os.path.join(work, "long.wav"), shallow=False)
    assert "The audio output failed: PulseAudio" in player.stderr.read()

    # No server (a runtime folder of no server's) and an ALSA default that is no device, then ALSA's null device.
    for asound, status in (("pcm.!default { type hw card 63 }\n", 38), ("pcm.!default { type null }\n", 0)):
        with open(os.path.join(work, ".asoundrc"), "w") as rc:
            rc.write(asound)
        output = os.path.join(work, f"alone{status}.mid")
        alone = subprocess.run([command, "--play", "C", output], env=dict(env, XDG_RUNTIME_DIR=quiet),
                               capture_output=True, text=True)
        assert alone.returncode == status and os.path.exists(output), (alone.returncode, alone.stderr)
        assert status == 0 or ("No audio output" in alone.stderr and "apt-get install pulseaudio" in alone.stderr), alone.stderr
    print("play: " + "; ".join(figures))
finally:
    keeper.kill()
    pid = open(os.path.join(server, "pulse", "pid")).read().split()[0]
    subprocess.run(["kill", pid], check=False)
    shutil.rmtree(work, ignore_errors=True)
