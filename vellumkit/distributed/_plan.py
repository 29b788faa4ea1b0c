"""Segments of the corpus files and their grouping into counting tasks."""

from collections.abc import Iterable
from typing import NamedTuple


class Segment(NamedTuple):
    """A byte range of a file that is read and counted on its own, as get_words_from_file does."""

    path: str
    offset: int
    length: int


def group_segments(segments: Iterable[Segment], task_size: int) -> list[list[Segment]]:
    """Consecutive segments gathered, in order, into tasks of at least `task_size` bytes (the
    last may be smaller; a task may span files). Every segment lands in exactly one task, and
    there is always at least one task, possibly empty, so that every count has a root."""
    tasks: list[list[Segment]] = []
    current: list[Segment] = []
    size = 0
    for segment in segments:
        current.append(segment)
        size += segment.length
        if size >= task_size:
            tasks.append(current)
            current, size = [], 0
    if current or not tasks:
        tasks.append(current)
    return tasks
