"""MIDI for the host: timed messages, and standard MIDI files read into them.

A timed message is a pair `(time_seconds, message)`, where `message` holds a
channel message's two or three bytes (status 0x80-0xEF).
"""

from __future__ import annotations

import bisect
import os
from typing import Iterable, Sequence, Union

__all__ = ["MidiFileError", "TimedMessage", "Midi", "read_midi_file", "message_bytes"]

TimedMessage = tuple[float, Union[bytes, bytearray, Sequence[int]]]
Midi = Union[None, str, os.PathLike, Iterable[TimedMessage]]

_DEFAULT_MICROS_PER_QUARTER = 500_000  # 120 beats per minute until a tempo event says otherwise


class MidiFileError(ValueError):
    """The bytes are not a standard MIDI file this reader can play."""


def message_bytes(message: bytes | bytearray | Sequence[int]) -> bytes:
    """The message as bytes, after checking it is one whole channel message.

    Raises ValueError for system messages, a stray data byte or a wrong length.
    """
    data = bytes(message)
    if not data or not 0x80 <= data[0] <= 0xEF:
        raise ValueError(f"not a channel message: {data.hex(' ')}")
    if len(data) != 1 + _data_length(data[0]) or any(b & 0x80 for b in data[1:]):
        raise ValueError(f"malformed channel message: {data.hex(' ')}")
    return data


def read_midi_file(path: str | os.PathLike) -> list[tuple[float, bytes]]:
    """The channel messages of a standard MIDI file (format 0 or 1), in time order.

    Tracks are merged; ties keep track order, then file order. Tempo events
    from any track make up the tempo map; SMPTE time division is honoured.
    Meta and system exclusive events are skipped. Raises MidiFileError.
    """
    with open(path, "rb") as file:
        data = file.read()
    chunks = list(_chunks(data))
    if not chunks or chunks[0][0] != b"MThd" or len(chunks[0][1]) < 6:
        raise MidiFileError(f"{path}: no MIDI file header")
    header = chunks[0][1]
    file_format = int.from_bytes(header[0:2], "big")
    division = int.from_bytes(header[4:6], "big")
    if file_format not in (0, 1):
        raise MidiFileError(f"{path}: format {file_format} is not played (only 0 and 1)")
    if division == 0:
        raise MidiFileError(f"{path}: a time division of 0 ticks")
    messages: list[tuple[int, bytes]] = []
    tempos: list[tuple[int, int]] = []
    for kind, body in chunks[1:]:
        if kind == b"MTrk":  # other chunk types are skipped, as files may carry their own
            _read_track(body, messages, tempos, path)
    messages.sort(key=lambda event: event[0])
    to_seconds = _tick_clock(division, sorted(tempos, key=lambda tempo: tempo[0]))
    return [(to_seconds(tick), message) for tick, message in messages]


def _data_length(status: int) -> int:
    return 1 if status & 0xF0 in (0xC0, 0xD0) else 2


def _chunks(data: bytes):
    at = 0
    while at + 8 <= len(data):
        kind, size = data[at : at + 4], int.from_bytes(data[at + 4 : at + 8], "big")
        yield kind, data[at + 8 : at + 8 + size]
        at += 8 + size


class _TrackReader:
    def __init__(self, body: bytes, path) -> None:
        self.body, self.at, self.path = body, 0, path

    def done(self) -> bool:
        return self.at >= len(self.body)

    def take(self, count: int) -> bytes:
        if self.at + count > len(self.body):
            raise MidiFileError(f"{self.path}: a track ends inside an event")
        piece = self.body[self.at : self.at + count]
        self.at += count
        return piece

    def variable_length(self) -> int:
        value = 0
        for _ in range(4):
            byte = self.take(1)[0]
            value = (value << 7) | (byte & 0x7F)
            if not byte & 0x80:
                return value
        raise MidiFileError(f"{self.path}: a variable-length number longer than 4 bytes")


def _read_track(body: bytes, messages: list, tempos: list, path) -> None:
    track = _TrackReader(body, path)
    tick = 0
    running = None
    while not track.done():
        tick += track.variable_length()
        lead = track.take(1)[0]
        if lead == 0xFF:
            kind = track.take(1)[0]
            payload = track.take(track.variable_length())
            running = None  # meta and system exclusive events cancel running status
            if kind == 0x2F:
                return
            if kind == 0x51 and len(payload) == 3 and int.from_bytes(payload, "big") > 0:
                tempos.append((tick, int.from_bytes(payload, "big")))
        elif lead in (0xF0, 0xF7):
            track.take(track.variable_length())
            running = None
        elif lead > 0xEF:
            raise MidiFileError(f"{path}: system message 0x{lead:02X} inside a track")
        else:
            if lead & 0x80:
                running, first = lead, b""
            elif running is None:
                raise MidiFileError(f"{path}: a data byte with no status before it")
            else:
                first = bytes([lead])
            rest = track.take(_data_length(running) - len(first))
            try:
                messages.append((tick, message_bytes(bytes([running]) + first + rest)))
            except ValueError as error:
                raise MidiFileError(f"{path}: {error}") from None


def _tick_clock(division: int, tempos: list[tuple[int, int]]):
    """A function from an absolute tick to seconds under the tempo map."""
    if division & 0x8000:  # SMPTE: frames per second (negated) and ticks per frame
        frames_per_second = 256 - (division >> 8)
        rate = 29.97 if frames_per_second == 29 else frames_per_second
        seconds_per_tick = 1.0 / (rate * (division & 0xFF))
        return lambda tick: tick * seconds_per_tick
    # Each segment: its first tick, its start in seconds, seconds per tick.
    segments = [(0, 0.0, _DEFAULT_MICROS_PER_QUARTER / 1e6 / division)]
    for tick, micros in tempos:
        start, seconds, per_tick = segments[-1]
        segments.append((tick, seconds + (tick - start) * per_tick, micros / 1e6 / division))

    starts = [segment[0] for segment in segments]

    def to_seconds(tick: int) -> float:
        start, seconds, per_tick = segments[bisect.bisect_right(starts, tick) - 1]
        return seconds + (tick - start) * per_tick

    return to_seconds
