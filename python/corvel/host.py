"""One plug-in in a corvel host process of its own, rendered into numpy."""

import bisect
import ctypes
import math
import os
import threading
import time
from typing import Optional, Union

import numpy as np

from corvel._native import Event, HostStatus, Options, Status, library
from corvel.midi import Midi, message_bytes, read_midi_file

__all__ = ["Host", "HostCrashed", "RenderTimeout", "Status"]

# A render call is cut into pieces this long, so a timeout is checked between them.
_PIECE_SECONDS = 0.25


class HostCrashed(RuntimeError):
    """The host process died, hung, or could not start.

    Attributes:
        status: Status.HOST_GONE (it ended), Status.HUNG (it stopped
            rendering and was ended), Status.START_FAILED or
            Status.NOT_RUNNING (no host: call restart()).
        exit_code: the host's exit code when it ended by itself, else None.
        signal: the signal that ended it, else None.
        log: what went wrong and the host's last log lines, a crash report
            ("[corvel] fatal signal ...") included.
    """

    def __init__(self, status: Status, exit_code: Optional[int], signal: Optional[int], log: str) -> None:
        super().__init__(status, exit_code, signal, log)  # all four, so it pickles
        self.status = Status(status)
        self.exit_code = exit_code
        self.signal = signal
        self.log = log

    def __str__(self) -> str:
        # The log's first line already says how the host ended.
        return f"{self.status.name.lower().replace('_', ' ')}: {self.log}".rstrip()


class RenderTimeout(TimeoutError):
    """A render took longer than its timeout. The host still serves."""


class Host:
    """One instrument plug-in hosted in a `corvel` process of its own.

    A plug-in that crashes or hangs ends only that process: the call raises
    HostCrashed, and restart() starts a new host with the last preset.

        with corvel.Host("mda-vst3.vst3") as host:
            chord = [(0.0, b"\\x90\\x3c\\x64"), (0.0, b"\\x90\\x40\\x64"), (1.5, b"\\x80\\x3c\\x00")]
            audio = host.render(2.0, chord)      # float32 ndarray, shape (2, 96000)
            host.note_on(67); more = host.render(0.5)
            text = host.preset                   # the plug-in's state as text
            host.preset = text                   # ValueError when the plug-in refuses it

    Args:
        plugin: a VST 3 bundle or library, or a VST 2.x library with vst2=True.
        vst2: the plug-in is VST 2.x.
        sample_rate: frames per second, 1000 to 1000000.
        block: frames per host block, 1 to 256.
        preset: preset text (str) applied before the first block, or the path
            of a file holding one (pathlib.Path or other os.PathLike).
        host_path: the `corvel` executable; default: beside the library (or
            one folder up, as in a build tree), then on PATH.
        hang_limit: seconds without progress after which the host counts as hung.
        start_limit: seconds the host may take to load the plug-in.

    A Host is used by one thread at a time; calls from several are serialised.
    Raises FileNotFoundError for a missing plug-in, HostCrashed when the host
    cannot start, OSError when the corvel library is not found.
    """

    def __init__(
        self,
        plugin: Union[str, os.PathLike],
        *,
        vst2: bool = False,
        sample_rate: float = 48000,
        block: int = 256,
        preset: Union[None, str, os.PathLike] = None,
        host_path: Union[None, str, os.PathLike] = None,
        hang_limit: float = 2.0,
        start_limit: float = 20.0,
    ) -> None:
        self._session = ctypes.c_void_p()
        self._lock = threading.Lock()
        self._pending: list[tuple[float, bytes]] = []
        if not os.path.exists(plugin):
            raise FileNotFoundError(f"no plug-in at {os.fspath(plugin)}")
        self.plugin = os.fspath(plugin)
        self.vst2 = vst2
        self.sample_rate = float(sample_rate)
        self.block = block
        self._c = library()
        options = _start_options(self._c, self.plugin, vst2, self.sample_rate, block, preset, host_path)
        options.hang_limit_ms = round(hang_limit * 1000)
        options.start_limit_ms = round(start_limit * 1000)
        status = Status(self._c.corvel_session_start(ctypes.byref(options), ctypes.byref(self._session)))
        if status != Status.OK:
            failure = ValueError(self._last_error()) if status == Status.BAD_ARGUMENT else self._crash(status)
            self.close()
            raise failure

    def __enter__(self) -> "Host":
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_session", None):
            self.close()

    def close(self) -> None:
        """Stops the host and removes its block. Calling it again does nothing."""
        with self._lock:
            if self._session:
                self._c.corvel_session_close(self._session)
                self._session = ctypes.c_void_p()

    def render(self, seconds: float, midi: Midi = None, *, timeout: Optional[float] = None) -> np.ndarray:
        """Renders `seconds` of audio, playing `midi` on the way.

        Args:
            seconds: how long; rounded to whole frames.
            midi: None, a list of (time_seconds, message) pairs with times
                from the start of this call and messages as 2 or 3 bytes
                (e.g. b"\\x90\\x3c\\x64"), or the path of a standard MIDI file.
                Messages due at or after the end are left out. Notes queued
                with note_on() and note_off() go first.
            timeout: seconds of wall time after which RenderTimeout is raised.

        Returns:
            float32 ndarray of shape (2, frames): left and right.

        Raises HostCrashed when the host dies or hangs (its audio is lost),
        ValueError for a malformed message.
        """
        if not (math.isfinite(seconds) and seconds >= 0):
            raise ValueError(f"seconds must be finite and not negative, not {seconds}")
        frames = round(seconds * self.sample_rate)
        if isinstance(midi, (str, os.PathLike)):
            midi = read_midi_file(midi)
        with self._lock:
            timed = self._pending + list(midi or [])
            self._pending = []
            events = _frame_events(timed, self.sample_rate, frames)
            return self._render_pieces(frames, events, timeout)

    def note_on(self, note: int, velocity: int = 100, channel: int = 0) -> None:
        """Starts a note at the start of the next render()."""
        self._queue(0x90, note, velocity, channel)

    def note_off(self, note: int, velocity: int = 0, channel: int = 0) -> None:
        """Ends a note at the start of the next render()."""
        self._queue(0x80, note, velocity, channel)

    def all_notes_off(self) -> None:
        """Silences every note from the next block on; drops queued notes."""
        with self._lock:
            self._pending = []
            self._check(self._c.corvel_session_all_notes_off(self._session))

    @property
    def preset(self) -> str:
        """The plug-in's state as the host last published it ("" before any).

        Setting it applies a preset text: ValueError when the plug-in
        refuses it or it is too large, HostCrashed when the host is gone.
        """
        with self._lock:
            size = ctypes.c_size_t(0)
            capacity = 64 * 1024
            while True:
                buffer = ctypes.create_string_buffer(capacity)
                status = self._c.corvel_session_preset(self._session, buffer, capacity, ctypes.byref(size))
                if status != Status.BUFFER_TOO_SMALL:
                    break
                capacity = size.value + 1
            self._check(status)
            return buffer.raw[: size.value].decode()

    @preset.setter
    def preset(self, text: str) -> None:
        data = text.encode()
        with self._lock:
            status = Status(self._c.corvel_session_push_preset(self._session, data, len(data)))
            if status in (Status.PRESET_REJECTED, Status.PRESET_TOO_LARGE):
                raise ValueError(f"{status.name.lower().replace('_', ' ')}: {self._last_error()}")
            self._check(status)

    def restart(self) -> None:
        """Starts a new host with the last published preset, after a crash or at will.

        Queued notes are dropped. Raises HostCrashed when the new host fails.
        """
        with self._lock:
            self._pending = []
            self._check(self._c.corvel_session_restart(self._session))

    @property
    def process_id(self) -> Optional[int]:
        """The host process's id, None without a host."""
        return self._status().process_id or None

    @property
    def restarts(self) -> int:
        """How many hosts were started after the first."""
        return self._status().restarts

    def _queue(self, kind: int, note: int, velocity: int, channel: int) -> None:
        if not 0 <= channel <= 15:
            raise ValueError(f"channel {channel} is not 0-15")
        message = message_bytes([kind | channel, note, velocity])
        with self._lock:
            self._pending.append((0.0, message))

    def _render_pieces(self, frames: int, events: list[tuple[int, bytes]], timeout: Optional[float]) -> np.ndarray:
        audio = np.zeros((2, frames), dtype=np.float32)
        deadline = None if timeout is None else time.monotonic() + timeout
        piece = max(1, round(_PIECE_SECONDS * self.sample_rate))
        starts = [frame for frame, _ in events]
        for begin in range(0, frames, piece):
            if deadline is not None and time.monotonic() > deadline:
                raise RenderTimeout(f"timed out with {begin} of {frames} frames done")
            end = min(begin + piece, frames)
            due = events[bisect.bisect_left(starts, begin) : bisect.bisect_left(starts, end)]
            records = (Event * max(1, len(due)))()
            for record, (frame, message) in zip(records, due):
                record.frame = frame - begin
                record.status, record.data1 = message[0], message[1]
                record.data2 = message[2] if len(message) > 2 else 0
            left = audio[0].ctypes.data + begin * 4
            right = audio[1].ctypes.data + begin * 4
            self._check(self._c.corvel_session_render(self._session, records, len(due), end - begin, left, right))
        return audio

    def _check(self, status: int) -> None:
        """Raises for any failure status; the caller holds the lock."""
        status = Status(status)
        if status >= 0:
            return
        if status in (Status.BAD_ARGUMENT, Status.IO_ERROR):
            raise ValueError(self._last_error())
        raise self._crash(status)

    def _crash(self, status: Status) -> HostCrashed:
        host = self._status()
        signal = host.signal or None
        exit_code = host.exit_code if host.exited and not signal else None
        return HostCrashed(status, exit_code, signal, self._last_error())

    def _status(self) -> HostStatus:
        status = HostStatus()
        if self._session:
            self._c.corvel_session_status(self._session, ctypes.byref(status))
        return status

    def _last_error(self) -> str:
        text = self._c.corvel_session_last_error(self._session) if self._session else None
        return (text or b"").decode(errors="replace")


def _start_options(c, plugin: str, vst2: bool, sample_rate: float, block: int, preset, host_path) -> Options:
    options = Options()
    c.corvel_options_init(ctypes.byref(options))
    options.plugin = os.fsencode(plugin)
    options.vst2 = int(vst2)
    options.sample_rate = sample_rate
    options.block_frames = block
    if isinstance(preset, str):
        options.preset_text = preset.encode()
    elif preset is not None:
        options.preset_file = os.fsencode(preset)
    if host_path is not None:
        options.host_path = os.fsencode(host_path)
    return options


def _frame_events(timed, sample_rate: float, frames: int) -> list[tuple[int, bytes]]:
    """(frame, message) pairs in time order, those due at or after `frames` left out."""
    events = []
    for seconds, message in timed:
        if not (math.isfinite(seconds) and seconds >= 0):
            raise ValueError(f"a MIDI time must be finite and not negative, not {seconds}")
        frame = round(seconds * sample_rate)
        if frame < frames:
            events.append((frame, message_bytes(message)))
    events.sort(key=lambda event: event[0])
    return events
