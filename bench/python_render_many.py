#!/usr/bin/env python3
"""render_many's throughput in audio seconds per wall second: 200 jobs of 2 s
(a chord held 1.5 s, then 0.5 s of tail) through mda DX10 and through amsynth
(VST 2, with a scratch HOME), at 1, 2 and 4 workers; beside it the same jobs
as one corvel-render process per job, run by as many threads.

    PYTHONPATH=python CORVEL_LIB=build/libcorvel.so /usr/bin/python3 bench/python_render_many.py \
        [--jobs 200] [--workers 1,2,4] [--build build]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np

import corvel

CACHE = Path(os.environ.get("CORVEL_CACHE", "/var/cache/corvel"))
PLUGINS = {
    "mda DX10": (CACHE / "vst3sdk-build/VST3/Release/mda-vst3.vst3", False),
    "amsynth": (Path("/usr/lib/vst/amsynth_vst.so"), True),
}
SAMPLE_RATE = 48000
HELD_SECONDS, TAIL_SECONDS = 1.5, 0.5


def chord_file(folder: Path, index: int) -> Path:
    """A format 0 file: a triad on a root that moves with the job, released after HELD_SECONDS."""
    root = 48 + index % 24
    notes = (root, root + 4, root + 7)
    off_tick = round(HELD_SECONDS * 960)  # 480 ticks a quarter at the default 120 bpm
    events = b"".join(bytes([0, 0x90, n, 100]) for n in notes)
    events += bytes([0x80 | (off_tick >> 7), off_tick & 0x7F, 0x80, notes[0], 0])
    events += b"".join(bytes([0, 0x80, n, 0]) for n in notes[1:]) + bytes([0, 0xFF, 0x2F, 0])
    path = folder / f"chord{index % 24}.mid"
    header = b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0x01, 0xE0])
    path.write_bytes(header + b"MTrk" + len(events).to_bytes(4, "big") + events)
    return path


def python_rate(jobs: list, workers: int) -> tuple[float, int]:
    started = time.monotonic()
    results = corvel.render_many(jobs, workers=workers, progress=False)
    wall = time.monotonic() - started
    done = [r for r in results if isinstance(r, np.ndarray)]
    return sum(r.shape[1] for r in done) / SAMPLE_RATE / wall, len(results) - len(done)


def process_rate(jobs: list, workers: int, tool: Path, out: Path) -> tuple[float, int]:
    def one(numbered):
        number, job = numbered
        wav = out / f"{number}.wav"
        command = [str(tool), "--plugin", str(job["plugin"]), "--midi", str(job["midi"]), "--out", str(wav),
                   "--sr", str(SAMPLE_RATE), "--tail", str(TAIL_SECONDS)]
        command += ["--vst2"] if job["vst2"] else []
        run = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        wav.unlink(missing_ok=True)
        if run.returncode != 0:  # a failed job says why, as render_many's failures do
            print(f"corvel-render job {number} failed ({run.returncode}):\n{run.stderr[-2000:]}", file=sys.stderr)
        return run.returncode

    started = time.monotonic()
    with ThreadPoolExecutor(workers) as pool:
        codes = list(pool.map(one, enumerate(jobs)))
    wall = time.monotonic() - started
    failed = sum(code != 0 for code in codes)
    return (len(jobs) - failed) * (HELD_SECONDS + TAIL_SECONDS) / wall, failed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--jobs", type=int, default=200)
    parser.add_argument("--workers", default="1,2,4")
    parser.add_argument("--build", type=Path, default=Path(__file__).resolve().parents[1] / "build")
    options = parser.parse_args()
    tool = options.build / "corvel-render"
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        # amsynth keeps its settings under HOME; editors stay shut without a display.
        for folder in (".config", ".local/share"):
            (scratch / folder).mkdir(parents=True)
        os.environ["HOME"] = str(scratch)
        os.environ.pop("DISPLAY", None)
        files = [chord_file(scratch, index) for index in range(min(options.jobs, 24))]
        print(f"{options.jobs} jobs of {HELD_SECONDS + TAIL_SECONDS:g} s at {SAMPLE_RATE} Hz, "
              f"{os.cpu_count()} processors; audio seconds per wall second (failed jobs)")
        print(f"{'plug-in':<10} {'workers':>7} {'render_many':>14} {'corvel-render':>14}")
        for name, (plugin, vst2) in PLUGINS.items():
            jobs = [{"plugin": plugin, "vst2": vst2, "midi": files[i % len(files)], "sample_rate": SAMPLE_RATE,
                     "tail": TAIL_SECONDS} for i in range(options.jobs)]
            for workers in (int(w) for w in options.workers.split(",")):
                rate, failed = python_rate(jobs, workers)
                row = f"{name:<10} {workers:>7} {rate:>9.1f} ({failed:>2})"
                if tool.exists():
                    rate, failed = process_rate(jobs, workers, tool, scratch)
                    row += f" {rate:>9.1f} ({failed:>2})"
                print(row, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
