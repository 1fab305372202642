"""Plug-ins the tests play: Debian's mda DX10 build from the set-up, our VST 2 fixture from build/."""

import os
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
CACHE = Path(os.environ.get("CORVEL_CACHE", "/var/cache/corvel"))
MDA = CACHE / "vst3sdk-build/VST3/Release/mda-vst3.vst3"
FIXTURES = ROOT / "build/vst2/fixtures"
FAULT_IN_PROCESS = FIXTURES / "vst2_fixture_fault_in_process.so"
HANG_AT_NOTE_100 = FIXTURES / "vst2_fixture_hang_note.so"

# A C major triad held for a second.
CHORD = [(0.0, bytes([0x90, n, 100])) for n in (60, 64, 67)] + [(1.0, bytes([0x80, n, 0])) for n in (60, 64, 67)]


@pytest.fixture(autouse=True)
def no_display(monkeypatch):
    """Editors stay shut: the hosts inherit no display."""
    monkeypatch.delenv("DISPLAY", raising=False)
