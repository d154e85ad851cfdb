#!/usr/bin/python3
"""make bench: how soon --play and song.play() are heard. A PulseAudio daemon
of its own with a null sink is recorded from its monitor by parec, started
before the sound; the first recorded sample above the noise floor, against
the moment the command was started (cold: no font loaded, Debian's 23 MB
FluidR3Mono) or Python's second song.play() was called (warm: the font kept
in the process). The sink's own latency, measured the same way with a click
played by pacat, is given beside them; a stream of silence keeps the sink's
blocks at 20 ms.
Usage: play_bench.py COMMAND AUDIO_LIBRARY LIBRARY PYTHON_SOURCE"""
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import wave

import numpy

command, audio_library, library, python_source = sys.argv[1:5]
FONT, RATE = "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3", 44100
work = tempfile.mkdtemp(prefix="midicompose-play-bench-")
with open(os.path.join(work, "client.conf"), "w") as conf:
    conf.write("autospawn = no\n")
env = dict(os.environ, XDG_RUNTIME_DIR=work, HOME=work, PULSE_CLIENTCONFIG=os.path.join(work, "client.conf"),
           MIDICOMPOSE_AUDIO_LIBRARY=audio_library, MIDICOMPOSE_LIBRARY=library, PYTHONPATH=python_source)
subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "--load=module-native-protocol-unix",
                "--load=module-null-sink sink_name=test"], env=env, check=True, stderr=subprocess.DEVNULL)


# Left alone, the null sink wakes every 2 s and hands out a block of that
# length (a click is recorded 1.5 s after it is played); a stream of silence
# asking for 20 ms keeps its blocks that short, as a sound card's would be.
keeper = subprocess.Popen(["pacat", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2", "--latency-msec=20",
                           "/dev/zero"], env=env)
time.sleep(1)  # until the sink has taken the small block


def first_sound_after(start_sound):
    """Seconds from the moment start_sound() gives to the arrival of the first
    recorded block above the noise floor, read from parec as it records."""
    parec = subprocess.Popen(["parec", "-d", "test.monitor", "--format=s16le", f"--rate={RATE}", "--channels=2", "--raw",
                              "--latency-msec=5"], env=env, stdout=subprocess.PIPE)
    heard = []

    def listen():
        while not heard and (block := parec.stdout.read1(4 * RATE // 200)):
            if numpy.abs(numpy.frombuffer(block[:len(block) // 2 * 2], dtype="<i2")).max(initial=0) > 300:
                heard.append(time.time())
    listener = threading.Thread(target=listen)
    listener.start()
    time.sleep(0.5)
    started = start_sound()
    listener.join(timeout=10)
    parec.terminate()
    parec.wait()
    return heard[0] - started


click = os.path.join(work, "click.wav")
with wave.open(click, "wb") as w:
    w.setnchannels(2), w.setsampwidth(2), w.setframerate(RATE)
    w.writeframes(b"\xff\x7f\xff\x7f" * 441 + b"\0\0\0\0" * RATE)
try:
    # The first stream the sink takes after the silence's waits for one more of its old blocks: played twice, the second told.
    sink = [first_sound_after(lambda: (time.time(), subprocess.Popen(["pacat", "--latency-msec=1000", "--file-format=wav", click],
                                                                     env=env))[0]) for _ in range(2)][1]
    time.sleep(1.5)  # until the click's second of silence has played out
    cold = first_sound_after(lambda: (time.time(), subprocess.Popen(
        [command, "--play", "--soundfont", FONT, "C:2 E G C5:2", os.path.join(work, "x.mid"), "violin"], env=env,
        stdout=subprocess.DEVNULL))[0])
    warm_script = ("import sys, time, midicompose; song = midicompose.compose('C:2 E G C5:2', instrument='violin');"
                   f"song.play({FONT!r}); print('ready', flush=True); sys.stdin.readline(); print(time.time(), flush=True);"
                   f"song.play({FONT!r})")
    python = subprocess.Popen([sys.executable, "-c", warm_script], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True)
    python.stdout.readline()  # the first play heard: the font is loaded
    time.sleep(3)

    def play_again():
        python.stdin.write("\n")
        python.stdin.flush()
        return float(python.stdout.readline())
    warm = first_sound_after(play_again)
    python.wait()
    print(f"play: first recorded sound {1000 * cold:.0f} ms after the command started (cold, FluidR3Mono), "
          f"{1000 * warm:.0f} ms after Python's second song.play() (warm); a click by pacat with the same 1 s "
          f"queue, {1000 * sink:.0f} ms (the null sink's own latency, its blocks held at 20 ms)")
finally:
    keeper.kill()
    subprocess.run(["kill", open(os.path.join(work, "pulse", "pid")).read().split()[0]], check=False)
    shutil.rmtree(work, ignore_errors=True)
