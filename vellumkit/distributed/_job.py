"""One count over a Dask cluster: segments found on the workers, grouped into counting tasks,
and their partials summed by a tree of merge tasks."""

import os
import shutil
import uuid
from collections.abc import Callable, Iterable
from typing import Generic, TypeVar

from distributed import Client, Future, as_completed

from vellumkit._lib import PreTokenizer, WordCounter
from vellumkit.distributed import _tasks
from vellumkit.distributed._partials import Partial, Partials
from vellumkit.distributed._plan import Segment, group_segments
from vellumkit.distributed._pre_tokenizer_args import PreTokenizerArgs
from vellumkit.types import Boundary

Counter = TypeVar("Counter")

# Partials merged by one merge task, and the most that the client merges itself at the top of
# the tree. Merges take priority over queued counting, so they run while counting goes on and
# free the partials' memory early; after the last counting task, only its own merge and one
# load on the client remain. A fan-in of four keeps that tail short (four loads) and a tree of
# a thousand counting tasks to four levels.
MERGE_FAN_IN = 4
MERGE_PRIORITY = 1

CountTask = Callable[[PreTokenizerArgs, Partials, list[Segment]], Partial]


class CountJob(Generic[Counter]):
    """A count running on the cluster.

    `futures` (the counting tasks, then the merge tasks) can be watched with Dask's progress
    bar (`distributed.progress(job.futures)`) or on its dashboard. `result()` merges the top
    of the tree on the client, as its partials come in, and returns the counter; it raises the
    first failure of any task. A worker that dies is replaced and its tasks recomputed by Dask,
    so the count stays exact.
    """

    def __init__(
        self,
        client: Client,
        counting: list[Future[Partial]],
        merging: list[Future[Partial]],
        top: list[Future[Partial]],
        finish: Callable[[WordCounter], Counter],
        pre_tokenizer: PreTokenizer,
        partials: Partials,
    ) -> None:
        self._client = client
        self.counting = counting
        self.merging = merging
        self._top = top
        self._finish = finish
        self._pre_tokenizer = pre_tokenizer
        self._partials = partials

    @property
    def futures(self) -> list[Future[Partial]]:
        return [*self.counting, *self.merging]

    def result(self) -> Counter:
        try:
            total: WordCounter | None = None
            for future in as_completed(self._top):
                counter = self._partials.load(future.result(), self._pre_tokenizer)
                if total is None:
                    total = counter
                else:
                    total.merge(counter)
            assert total is not None, "a count always has at least one counting task"
            return self._finish(total)
        finally:
            self.release()

    def release(self) -> None:
        """Cancel what still runs and remove the partial files; result() does this itself."""
        self._client.cancel(self.futures)
        _remove_partials(self._partials)


def _remove_partials(partials: Partials) -> None:
    if partials.directory is not None:
        # A worker that was presumed dead may still be writing into the directory; what is
        # left then is a stray partial of a finished job, never a part of a result.
        shutil.rmtree(partials.directory, ignore_errors=True)


def _find_all_segments(
    client: Client, run: str, args: PreTokenizerArgs, paths: list[str], chunk_size: int, boundary: Boundary
) -> list[Segment]:
    """Segments of every file in order, found on the workers (the files need not be visible to
    the client, and the search for an end-of-text marker may read a whole file)."""
    futures = [
        client.submit(_tasks.find_segments, args, path, chunk_size, boundary, key=f"vellumkit-segments-{run}-{index}")
        for index, path in enumerate(paths)
    ]
    try:
        per_file: list[list[Segment]] = client.gather(futures)
    finally:
        client.cancel(futures)
    return [segment for segments in per_file for segment in segments]


def _merge_tree(
    client: Client, run: str, args: PreTokenizerArgs, partials: Partials, counting: list[Future[Partial]]
) -> tuple[list[Future[Partial]], list[Future[Partial]]]:
    """Merge tasks over the counting tasks, level by level, until at most MERGE_FAN_IN partials
    remain: all merge tasks, and those last partials for the client to merge."""
    merging: list[Future[Partial]] = []
    level, depth = counting, 0
    while len(level) > MERGE_FAN_IN:
        groups = [level[start : start + MERGE_FAN_IN] for start in range(0, len(level), MERGE_FAN_IN)]
        merged = [
            client.submit(
                _tasks.merge, args, partials, group, key=f"vellumkit-merge-{run}-{depth}-{index}", priority=MERGE_PRIORITY
            )
            for index, group in enumerate(groups)
            if len(group) > 1
        ]
        merging.extend(merged)
        # A partial left alone at the end of a level goes up unchanged rather than through a
        # merge task that would only load and save it.
        level = merged + [group[0] for group in groups if len(group) == 1]
        depth += 1
    return merging, level


def submit_count(
    client: Client,
    paths: Iterable[str | os.PathLike[str]],
    args: PreTokenizerArgs,
    count_task: CountTask,
    finish: Callable[[WordCounter], Counter],
    *,
    chunk_size: int,
    boundary: Boundary,
    partials_dir: str | os.PathLike[str] | None,
    task_size: int,
) -> CountJob[Counter]:
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a collection of paths, not a single path")
    if task_size < 1:
        raise ValueError("task_size must be at least 1")
    pre_tokenizer = args.build()  # refuses bad arguments here, before any work is sent
    run = uuid.uuid4().hex
    directory = None if partials_dir is None else os.path.join(os.fspath(partials_dir), f"vellumkit-{run}")
    partials = Partials(directory)
    if directory is not None:
        os.makedirs(directory)
    try:
        absolute = [os.path.abspath(os.fspath(path)) for path in paths]
        segments = _find_all_segments(client, run, args, absolute, chunk_size, boundary)
    except BaseException:
        _remove_partials(partials)
        raise
    counting = [
        client.submit(count_task, args, partials, task, key=f"vellumkit-count-{run}-{index}")
        for index, task in enumerate(group_segments(segments, task_size))
    ]
    merging, top = _merge_tree(client, run, args, partials, counting)
    return CountJob(client, counting, merging, top, finish, pre_tokenizer, partials)
