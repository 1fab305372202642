"""Whole renders in one call, and many of them at once, each in a host of its own."""

import os
import sys
import time
import traceback
from concurrent.futures import Executor, Future, ThreadPoolExecutor, as_completed
from typing import Any, Iterable, Mapping, Optional, Union

import numpy as np

from corvel._native import Status
from corvel.host import Host, HostCrashed, RenderTimeout
from corvel.midi import Midi, read_midi_file

try:
    from tqdm import tqdm
except ImportError:  # a plain line on standard error instead
    tqdm = None

__all__ = ["render", "render_many", "RenderFailure"]

_CRASH_KINDS = {Status.HUNG: "hung", Status.START_FAILED: "start failed"}


def render(
    plugin: Union[str, os.PathLike],
    midi: Midi = None,
    *,
    seconds: Optional[float] = None,
    preset: Union[None, str, os.PathLike] = None,
    sample_rate: float = 48000,
    vst2: bool = False,
    block: int = 256,
    tail: float = 1.0,
    timeout: Optional[float] = None,
    host_path: Union[None, str, os.PathLike] = None,
) -> np.ndarray:
    """Starts a host, renders `midi` through `plugin`, stops the host.

        audio = corvel.render("mda-vst3.vst3", "song.mid")

    Args:
        plugin, preset, sample_rate, vst2, block, host_path: as for Host.
        midi: (time_seconds, message) pairs or a standard MIDI file's path.
        seconds: how long; default: the last MIDI message's time plus `tail`.
        tail: seconds rendered after the last message when `seconds` is None.
        timeout: seconds of wall time for the whole call, start included.

    Returns a float32 ndarray of shape (2, frames). Raises as Host and
    Host.render do (HostCrashed, RenderTimeout, ValueError, FileNotFoundError).
    """
    started = time.monotonic()
    if isinstance(midi, (str, os.PathLike)):
        midi = read_midi_file(midi)
    midi = list(midi or [])
    if seconds is None:
        if not midi:
            raise ValueError("give seconds, or MIDI to take the length from")
        seconds = max(time_seconds for time_seconds, _ in midi) + tail
    with Host(plugin, vst2=vst2, sample_rate=sample_rate, block=block, preset=preset, host_path=host_path) as host:
        if timeout is None:
            return host.render(seconds, midi)
        try:
            return host.render(seconds, midi, timeout=max(0.0, timeout - (time.monotonic() - started)))
        except RenderTimeout as late:  # the time left after the start is no figure the caller gave
            raise RenderTimeout(f"took longer than {timeout:g} s: {late}") from None


class RenderFailure:
    """A job of render_many that gave no audio; it stands in the job's place.

    Attributes:
        index: the job's position in the list.
        job: the job itself.
        kind: "crashed", "hung", "start failed", "timeout" or "error" (a
            bad job, or the executor lost it).
        report: what happened: for a host, its exit status and last log lines.
    """

    def __init__(self, kind: str, report: str, index: int = -1, job: Optional[Mapping[str, Any]] = None) -> None:
        self.kind = kind
        self.report = report
        self.index = index
        self.job = job

    def __repr__(self) -> str:
        return f"<RenderFailure job {self.index}: {self.kind}>"


def render_many(
    jobs: Iterable[Mapping[str, Any]],
    *,
    executor: Optional[Executor] = None,
    workers: Optional[int] = os.cpu_count(),
    progress: bool = True,
    timeout: Optional[float] = None,
) -> list[Union[np.ndarray, RenderFailure]]:
    """Renders every job, each in a host process of its own, and returns the results in job order.

        jobs = [{"plugin": "mda-vst3.vst3", "midi": phrase, "preset": p} for p in presets]
        results = corvel.render_many(jobs)
        audio = [r for r in results if not isinstance(r, corvel.RenderFailure)]

    Args:
        jobs: dicts of render()'s keyword arguments (plugin, midi, seconds,
            preset, sample_rate, vst2, ...).
        executor: any concurrent.futures.Executor, e.g. a ProcessPoolExecutor
            or a dask.distributed Client's get_executor(); a Client itself is
            taken too. Default: a thread pool of `workers` threads (the hosts
            do the work, so threads are enough).
        workers: threads of the default pool.
        progress: show a bar on standard error (tqdm when installed) and a
            summary at the end: done, failed, audio seconds per wall second.
        timeout: seconds per job for jobs that do not give their own.

    Each result is the job's float32 (2, frames) array, or a RenderFailure
    when its host crashed, hung or timed out, or the job was bad; the other
    jobs go on either way.
    """
    jobs = [dict(job) for job in jobs]
    if timeout is not None:
        for job in jobs:
            job.setdefault("timeout", timeout)
    started = time.monotonic()
    owned = executor is None
    if owned:
        executor = ThreadPoolExecutor(max_workers=workers)
    elif hasattr(executor, "get_executor"):  # a dask Client: not pure, so two alike both run
        executor = executor.get_executor(pure=False)
    results: list[Union[np.ndarray, RenderFailure, None]] = [None] * len(jobs)
    meter = _Progress(len(jobs), progress)
    try:
        futures = {executor.submit(_run_job, job): index for index, job in enumerate(jobs)}
        for future in as_completed(futures):
            index = futures[future]
            results[index] = _outcome(future, index, jobs[index])
            meter.advance(failed=isinstance(results[index], RenderFailure))
    finally:
        meter.close()
        if owned:
            executor.shutdown(cancel_futures=True)
    if progress:
        print(_summary(jobs, results, time.monotonic() - started), file=sys.stderr)
    return results


def _run_job(job: Mapping[str, Any]) -> Union[np.ndarray, RenderFailure]:
    """One job, in whatever worker the executor chose: top level, so a process pool can pickle it."""
    try:
        return render(**job)
    except HostCrashed as crash:
        return RenderFailure(_CRASH_KINDS.get(crash.status, "crashed"), str(crash))
    except RenderTimeout as late:
        return RenderFailure("timeout", str(late))
    except Exception:  # a bad job fails alone, like a crashing one
        return RenderFailure("error", traceback.format_exc())


def _outcome(future: Future, index: int, job: Mapping[str, Any]) -> Union[np.ndarray, RenderFailure]:
    try:
        result = future.result()
    except Exception as lost:  # the executor's own failure: a dead worker process, say
        result = RenderFailure("error", f"{type(lost).__name__}: {lost}")
    if isinstance(result, RenderFailure):
        result.index, result.job = index, job
    return result


def _summary(jobs: list, results: list, wall_seconds: float) -> str:
    audio_seconds = sum(
        result.shape[1] / job.get("sample_rate", 48000)
        for job, result in zip(jobs, results)
        if isinstance(result, np.ndarray)
    )
    failed = sum(isinstance(result, RenderFailure) for result in results)
    rate = audio_seconds / wall_seconds if wall_seconds > 0 else 0.0
    return (
        f"corvel: {len(results) - failed} done, {failed} failed, "
        f"{rate:.1f} audio seconds per wall second ({audio_seconds:.1f} s in {wall_seconds:.1f} s)"
    )


class _Progress:
    """A bar on standard error: tqdm's, else a line of our own."""

    def __init__(self, total: int, shown: bool) -> None:
        self.total, self.shown, self.done, self.failed = total, shown, 0, 0
        self.bar = tqdm(total=total, unit="job", desc="corvel", file=sys.stderr) if shown and tqdm else None
        self.terminal = sys.stderr.isatty()

    def advance(self, failed: bool) -> None:
        self.done += 1
        self.failed += failed
        if self.bar is not None:
            self.bar.update()
            self.bar.set_postfix(failed=self.failed, refresh=False)
        elif self.shown and (self.terminal or self.done * 10 // self.total != (self.done - 1) * 10 // self.total):
            # On a terminal one line rewritten; in a log one line per tenth.
            print(
                f"corvel: {self.done}/{self.total} jobs, {self.failed} failed",
                end="\r" if self.terminal else "\n",
                file=sys.stderr,
                flush=True,
            )

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()
        elif self.shown and self.terminal and self.done:
            print(file=sys.stderr)
