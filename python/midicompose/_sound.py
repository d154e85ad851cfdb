"""Playing a song: the library's play call on a thread of its own, so that
the calling thread stays free to take KeyboardInterrupt and stop it."""
import ctypes
import threading
from typing import Callable


def until_heard(play: Callable[[ctypes.c_int], object]) -> None:
    """Runs play(stop) and waits for it; on KeyboardInterrupt sets stop (the
    library drops what is queued and returns), waits, and raises it again. An
    exception of play's is raised here."""
    stop, failures = ctypes.c_int(0), []

    def run() -> None:
        try:
            play(stop)
        except Exception as error:  # raised again in the calling thread
            failures.append(error)

    player = threading.Thread(target=run, daemon=True)
    player.start()
    try:
        while player.is_alive():
            player.join(0.05)
    except KeyboardInterrupt:
        stop.value = 1
        player.join()
        raise
    if failures:
        raise failures[0]
