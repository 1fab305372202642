"""The C library under the package: where libcorvel is, its records and prototypes.

The library is loaded on first use, not at import, so that `import corvel`
works on a machine where it is not built yet and the error says where it was
looked for.
"""

from __future__ import annotations

import ctypes
import os
import shutil
import sys
import sysconfig
import threading
from enum import IntEnum
from pathlib import Path

__all__ = ["Status", "Options", "Event", "HostStatus", "library", "library_candidates"]


class Status(IntEnum):
    """The C library's status codes (corvel_status)."""

    OK = 0
    BLOCK = 1
    IDLE = 2
    LATE = 3
    HOST_GONE = -1
    HUNG = -2
    NOT_RUNNING = -3
    BAD_ARGUMENT = -4
    START_FAILED = -5
    PRESET_REJECTED = -6
    PRESET_TOO_LARGE = -7
    BUFFER_TOO_SMALL = -8
    IO_ERROR = -9


class Options(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_uint32),
        ("plugin", ctypes.c_char_p),
        ("vst2", ctypes.c_int),
        ("sample_rate", ctypes.c_double),
        ("block_frames", ctypes.c_uint32),
        ("preset_text", ctypes.c_char_p),
        ("preset_file", ctypes.c_char_p),
        ("host_path", ctypes.c_char_p),
        ("spin_us", ctypes.c_uint32),
        ("rt_priority", ctypes.c_int32),
        ("start_limit_ms", ctypes.c_uint32),
        ("hang_limit_ms", ctypes.c_uint32),
        ("restart_automatically", ctypes.c_int),
    ]


class Event(ctypes.Structure):
    _fields_ = [
        ("frame", ctypes.c_uint32),
        ("status", ctypes.c_uint8),
        ("data1", ctypes.c_uint8),
        ("data2", ctypes.c_uint8),
        ("reserved", ctypes.c_uint8),
    ]


class HostStatus(ctypes.Structure):
    _fields_ = [
        ("running", ctypes.c_int),
        ("exited", ctypes.c_int),
        ("exit_code", ctypes.c_int),
        ("signal", ctypes.c_int),
        ("hung", ctypes.c_int),
        ("restarts", ctypes.c_uint32),
        ("process_id", ctypes.c_uint64),
    ]


_SESSION = ctypes.c_void_p
_STATUS = ctypes.c_int
_PROTOTYPES = {
    "corvel_options_init": (None, [ctypes.POINTER(Options)]),
    "corvel_session_start": (_STATUS, [ctypes.POINTER(Options), ctypes.POINTER(_SESSION)]),
    # The audio buffers go in as addresses: numpy owns them.
    "corvel_session_render": (
        _STATUS,
        [_SESSION, ctypes.POINTER(Event), ctypes.c_size_t, ctypes.c_uint32, ctypes.c_void_p, ctypes.c_void_p],
    ),
    "corvel_session_push_preset": (_STATUS, [_SESSION, ctypes.c_char_p, ctypes.c_size_t]),
    "corvel_session_preset": (
        _STATUS,
        [_SESSION, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
    ),
    "corvel_session_all_notes_off": (_STATUS, [_SESSION]),
    "corvel_session_restart": (_STATUS, [_SESSION]),
    "corvel_session_status": (_STATUS, [_SESSION, ctypes.POINTER(HostStatus)]),
    "corvel_session_last_error": (ctypes.c_char_p, [_SESSION]),
    "corvel_session_close": (None, [_SESSION]),
}

_LIBRARY_NAMES = {
    "win32": ("libcorvel.dll", "corvel.dll"),
    "darwin": ("libcorvel.dylib",),
}.get(sys.platform, ("libcorvel.so",))


def library_candidates() -> list[Path]:
    """Where the library is looked for, in order.

    `CORVEL_LIB` alone when it is set; otherwise beside a `corvel` found on
    PATH, in `../lib` from it (and its multiarch folder), then in the
    `build/` folder of the source checkout this package sits in.
    """
    named = os.environ.get("CORVEL_LIB")
    if named:
        return [Path(named)]
    folders: list[Path] = []
    host = shutil.which("corvel")
    if host:
        bin_dir = Path(host).parent
        folders += [bin_dir, bin_dir.parent / "lib"]
        multiarch = sysconfig.get_config_var("MULTIARCH")
        if multiarch:
            folders.append(bin_dir.parent / "lib" / multiarch)
    build = Path(__file__).resolve().parents[2] / "build"
    folders.append(build)
    return [folder / name for folder in folders for name in _LIBRARY_NAMES]


_lock = threading.Lock()
_library: ctypes.CDLL | None = None
_library_path: Path | None = None


def library() -> ctypes.CDLL:
    """The loaded C library with its prototypes set; OSError when none is found. Any thread."""
    global _library, _library_path
    with _lock:
        if _library is None:
            _library_path = next((path for path in library_candidates() if path.is_file()), None)
            _library = _load(_library_path)
        return _library


def _load(path: Path | None) -> ctypes.CDLL:
    if path is not None:
        loaded = ctypes.CDLL(str(path))
        for name, (result, arguments) in _PROTOTYPES.items():
            function = getattr(loaded, name)
            function.restype = result
            function.argtypes = arguments
        return loaded
    looked = "\n  ".join(str(path) for path in library_candidates())
    raise OSError(
        f"corvel: the corvel library was not found; looked at\n  {looked}\n"
        "Build it (target corvel_shared) or name it in CORVEL_LIB."
    )
