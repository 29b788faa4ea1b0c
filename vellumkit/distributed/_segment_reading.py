"""Reading segments back as the text that the core's file counting sees."""

import itertools
from collections.abc import Iterator, Sequence

from vellumkit.distributed._plan import Segment


def segment_texts(segments: Sequence[Segment]) -> Iterator[str]:
    """The text of each segment, in order, one file handle per run of segments of one file.

    Python's "replace" error handler puts one U+FFFD in place of each maximal invalid subpart,
    the rule of the core's lenient decoding, so every text equals the one get_words_from_file
    counts for that segment, invalid UTF-8 included. A file shorter than its segments (changed
    since they were found) fails with OSError naming it rather than counting a shorter text.
    """
    for path, run in itertools.groupby(segments, key=lambda segment: segment.path):
        with open(path, "rb") as file:
            for segment in run:
                file.seek(segment.offset)
                data = file.read(segment.length)
                if len(data) != segment.length:
                    raise OSError(
                        f"{path}: expected {segment.length} bytes at offset {segment.offset}, "
                        f"read {len(data)}: the file changed while it was being counted"
                    )
                yield data.decode("utf-8", errors="replace")
