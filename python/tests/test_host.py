import numpy as np
import pytest

import corvel
from conftest import CHORD, FAULT_IN_PROCESS, MDA


def test_chord_is_audible_finite_and_the_same_from_two_hosts_with_one_preset():
    with corvel.Host(MDA) as first:
        preset = first.preset
    assert preset
    takes = []
    for _ in range(2):
        with corvel.Host(MDA, preset=preset) as host:
            takes.append(host.render(2.0, CHORD))
    audio = takes[0]
    assert audio.shape == (2, 96000) and audio.dtype == np.float32
    assert np.isfinite(audio).all()
    assert np.abs(audio).max() > 0.01
    np.testing.assert_array_equal(takes[0], takes[1])


def test_preset_round_trip_refusals_and_file(tmp_path):
    with corvel.Host(MDA) as host:
        text = host.preset
        host.preset = text
        assert host.preset == text
        for refused in ("too short", "x" * 65536):
            with pytest.raises(ValueError):
                host.preset = refused
    (tmp_path / "dx10.txt").write_text(text)
    with corvel.Host(MDA, preset=tmp_path / "dx10.txt") as host:
        assert host.preset == text


def test_a_fault_raises_host_crashed_with_the_fault_line_and_restart_goes_on():
    with corvel.Host(FAULT_IN_PROCESS, vst2=True) as host:
        with pytest.raises(corvel.HostCrashed) as crash:
            host.render(1.0, [(0.0, b"\x90\x3c\x64")])
        assert crash.value.status == corvel.Status.HOST_GONE
        assert crash.value.signal is not None
        assert "[corvel] fatal signal" in crash.value.log
        host.restart()
        assert host.render(0.5).shape == (2, 24000)
