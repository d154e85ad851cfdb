"""The arguments as the library reads them: UTF-8 texts and file system
bytes, refused before the call where the library would read them otherwise."""
import os
from typing import Union


def refuse_nul(text: str, what: str) -> str:
    # The library reads a text up to its first NUL; what followed would be
    # dropped without a word.
    if "\0" in text:
        raise ValueError(f"embedded null character in {what}")
    return text


def text(value: Union[str, int, float], what: str, integral: bool = False) -> bytes:
    if isinstance(value, bool):
        raise TypeError(f"{what} must be a text or a number, not a bool")
    if integral and isinstance(value, float):
        raise TypeError(f"{what} must be a text or an int, not a float")
    if isinstance(value, (int, float)):
        value = repr(value)  # the shortest text that reads back as the same value
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a text or a number, not {type(value).__name__}")
    return refuse_nul(value, what).encode("utf-8", "surrogatepass")


def path(path: Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]) -> bytes:
    # The file system's own bytes: a name that is not UTF-8 (surrogate escapes
    # on POSIX) is written byte for byte; on Windows the bytes are UTF-8 with
    # any lone surrogate kept, and the library turns them back into the same
    # UTF-16 name.
    where = os.fsencode(path)
    if b"\0" in where:
        raise ValueError("embedded null byte in path")
    return where
