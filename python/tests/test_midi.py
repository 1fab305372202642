import pytest

import corvel


def chunk(kind: bytes, body: bytes) -> bytes:
    return kind + len(body).to_bytes(4, "big") + body


HEADER = chunk(b"MThd", bytes([0, 1, 0, 2, 0x01, 0xE0]))  # format 1, two tracks, 480 ticks a quarter
TEMPO_TRACK = chunk(
    b"MTrk",
    bytes([0x00, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20])  # 120 bpm
    + bytes([0x83, 0x60, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40])  # a quarter later: 60 bpm
    + bytes([0x00, 0xFF, 0x2F, 0]),
)
NOTES_TRACK = chunk(
    b"MTrk",
    bytes([0x00, 0x90, 0x3C, 0x64])
    + bytes([0x81, 0x70, 0x40, 0x64])  # running status
    + bytes([0x00, 0xF0, 3, 0x7E, 0x7F, 0xF7])  # system exclusive: skipped
    + bytes([0x83, 0x60, 0x80, 0x3C, 0x00])
    + bytes([0x00, 0xFF, 0x2F, 0]),
)


def test_tracks_merge_under_the_tempo_map(tmp_path):
    path = tmp_path / "song.mid"
    path.write_bytes(HEADER + TEMPO_TRACK + NOTES_TRACK)
    assert corvel.read_midi_file(path) == [
        (0.0, b"\x90\x3c\x64"),
        (0.25, b"\x90\x40\x64"),
        (1.0, b"\x80\x3c\x00"),  # tick 720: 480 at 120 bpm, 240 at 60 bpm
    ]


def test_a_data_byte_after_system_exclusive_has_no_status(tmp_path):
    path = tmp_path / "broken.mid"
    path.write_bytes(HEADER + chunk(b"MTrk", bytes([0, 0x90, 0x3C, 0x64, 0, 0xF0, 1, 0xF7, 0, 0x40, 0x64])))
    with pytest.raises(corvel.MidiFileError):
        corvel.read_midi_file(path)
