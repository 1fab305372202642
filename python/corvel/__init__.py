"""corvel: instrument plug-ins rendered into numpy, each in a host process of its own.

A plug-in that crashes or hangs ends only its host: the call raises
HostCrashed (or, in render_many, that job becomes a RenderFailure) and
everything else goes on.

    import corvel
    with corvel.Host("mda-vst3.vst3") as host:          # VST 3; vst2=True for VST 2.x
        audio = host.render(2.0, [(0.0, b"\\x90\\x3c\\x64"), (1.0, b"\\x80\\x3c\\x00")])
    audio = corvel.render("mda-vst3.vst3", "song.mid")    # one call
    results = corvel.render_many(jobs)                   # many, on any Executor

The package drives the corvel C library (libcorvel) through ctypes. It is
looked for through CORVEL_LIB, else beside a `corvel` on PATH or in ../lib
from it, else in the build/ folder of this source checkout.
"""

from corvel._native import Status
from corvel.batch import RenderFailure, render, render_many
from corvel.host import Host, HostCrashed, RenderTimeout
from corvel.midi import MidiFileError, read_midi_file

__all__ = [
    "Host",
    "HostCrashed",
    "MidiFileError",
    "RenderFailure",
    "RenderTimeout",
    "Status",
    "read_midi_file",
    "render",
    "render_many",
]
