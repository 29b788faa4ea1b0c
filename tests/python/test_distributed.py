"""Counting on a Dask cluster gives exactly the counts of one machine counting the same files."""

import collections
import logging
import os
import random
import subprocess
import sys

import pytest

distributed = pytest.importorskip("distributed", reason="Dask is not installed (pip install vellumkit[dask])")

from distributed.diagnostics.plugin import WorkerPlugin  # noqa: E402
from distributed.utils import key_split  # noqa: E402

from vellumkit import PreTokenizer  # noqa: E402
from vellumkit.distributed import count_bigrams, count_words, submit_word_count  # noqa: E402
from vellumkit.distributed._bigram_rebuild import bigram_counter_from_counts  # noqa: E402

EOT = "<|endoftext|>"
SPECIAL = [EOT, "[SEP]"]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None, silence_logs=logging.CRITICAL
    ) as cluster, distributed.Client(cluster) as client:
        yield client


def document(rng):
    words = ["alpha", " beta", " 日本語の文章", " 中文字", "[SEP]", "\n", "  ", "é", "ça", "\r\n", " 42", "ไทย"]
    return "".join(rng.choice(words) for _ in range(rng.randrange(5, 60)))


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """Files of documents separated by the end-of-text marker, one without any marker, one with
    invalid UTF-8 scattered through it, and an empty one."""
    rng = random.Random(17)
    folder = tmp_path_factory.mktemp("corpus")
    contents = {
        "documents.txt": EOT.join(document(rng) for _ in range(120)).encode(),
        "no_marker.txt": "\n".join(document(rng) for _ in range(80)).encode(),
        "invalid.txt": b"".join(
            document(rng).encode() + rng.choice([b"\xff", b"\xed\xa0\x80", b"\xe6\x97", b"\xf0\x9f\x98", b"\x80\x80", EOT.encode()])
            for _ in range(150)
        ),
        "empty.txt": b"",
    }
    for name, data in contents.items():
        (folder / name).write_bytes(data)
    return [folder / name for name in contents]


def file_counts(paths, pre_tokenizer, **chunking):
    total = collections.Counter()
    for path in paths:
        total.update(pre_tokenizer.get_words_from_file(path, **chunking))
    return dict(sorted(total.items(), key=lambda item: item[0].encode()))


PRE_TOKENIZERS = {
    "default": {},
    "bigrams": {"unicode_bigrams": ["日本", "文章"], "unicode_bigram_mixed_boundary": "split"},
}


@pytest.mark.parametrize(
    "chunk_size, boundary, pre, in_directory",
    [
        (64, "auto", "default", False),
        (64, "eot", "default", True),
        (64, "line", "bigrams", False),
        (64, "utf8", "default", True),
        (1 << 20, "auto", "bigrams", False),
    ],
)
def test_word_counts_equal_file_counting(client, corpus, tmp_path, chunk_size, boundary, pre, in_directory):
    partials_dir = tmp_path / "partials" if in_directory else None
    if partials_dir:
        partials_dir.mkdir()
    pre_tokenizer = PreTokenizer(SPECIAL, **PRE_TOKENIZERS[pre])
    counter = count_words(
        client,
        corpus,
        special_tokens=SPECIAL,
        **PRE_TOKENIZERS[pre],
        chunk_size=chunk_size,
        boundary=boundary,
        partials_dir=partials_dir,
        task_size=700,  # tens of tasks, so that the merge tree has two levels
    )
    assert counter.words() == file_counts(corpus, pre_tokenizer, chunk_size=chunk_size, boundary=boundary)
    if partials_dir:
        assert list(partials_dir.iterdir()) == []


def test_documents_cut_at_special_markers_count_as_add_source_of_the_documents(client, corpus):
    counter = count_words(client, corpus, special_tokens=SPECIAL, chunk_size=100, boundary="eot", task_size=500)
    expected = PreTokenizer(SPECIAL).word_counter()
    expected.add_source(path.read_bytes().decode("utf-8", errors="replace") for path in corpus)
    assert counter.words() == expected.words()


@pytest.mark.parametrize("boundary, in_directory", [("auto", False), ("utf8", True)])
def test_bigram_counts_equal_segment_counting(client, corpus, tmp_path, boundary, in_directory):
    counter = count_bigrams(
        client, corpus, special_tokens=SPECIAL, chunk_size=64, boundary=boundary,
        partials_dir=tmp_path if in_directory else None, task_size=700,
    )
    pre_tokenizer = PreTokenizer(SPECIAL)
    expected = pre_tokenizer.bigram_counter()
    for path in corpus:
        data = path.read_bytes()
        spans = pre_tokenizer.find_chunk_boundaries(path, chunk_size=64, boundary=boundary)
        expected.add_batch([data[offset : offset + length].decode("utf-8", errors="replace") for offset, length in spans])
    assert counter.items() == expected.items()
    assert counter.items() != []


@pytest.mark.parametrize("top_k, min_freq", [(3, 1), (1000, 2), (0, 1)])
def test_bigram_selection_equals_the_file_selection(client, corpus, top_k, min_freq):
    path = corpus[2]
    counter = count_bigrams(client, [path], special_tokens=SPECIAL, chunk_size=64, task_size=300)
    expected = PreTokenizer(SPECIAL).select_unicode_bigrams_from_file(path, chunk_size=64, top_k=top_k, min_freq=min_freq)
    selection = counter.select(top_k, min_freq)
    assert (selection.bigrams, selection.cutoff_freq, selection.max_excluded_freq) == (
        expected.bigrams, expected.cutoff_freq, expected.max_excluded_freq,
    )


def test_rebuilt_bigram_counter_holds_exactly_the_counts():
    counts = {"日本": 2**40 + 3, "本語": 1, "中文": 6, "ไท": 2**62}
    counter = bigram_counter_from_counts(PreTokenizer(["<s>", "本語x"]), counts)
    assert counter.items() == sorted(counts.items(), key=lambda item: item[0].encode())


class KillOnce(WorkerPlugin):
    """Ends its worker's process abruptly when the first task of the given kind starts."""

    name = "kill-once"

    def __init__(self, marker, kind):
        self.marker = str(marker)
        self.kind = kind

    def transition(self, key, start, finish, **kwargs):
        if finish == "executing" and key_split(key) == self.kind:
            try:
                open(self.marker, "x").close()
            except FileExistsError:
                return
            os._exit(1)


@pytest.mark.parametrize("kind", ["vellumkit-count", "vellumkit-merge"])
def test_a_worker_killed_mid_run_still_gives_the_exact_counts(client, corpus, tmp_path, kind):
    marker = tmp_path / "killed"
    client.register_plugin(KillOnce(marker, kind))
    try:
        counter = count_words(client, corpus, special_tokens=SPECIAL, chunk_size=64, task_size=700)
    finally:
        client.unregister_worker_plugin(KillOnce.name)
        client.wait_for_workers(2)
    assert marker.exists()
    assert counter.words() == file_counts(corpus, PreTokenizer(SPECIAL), chunk_size=64)


def test_progress_bar_follows_the_futures_of_a_job(client, corpus, capsys):
    job = submit_word_count(client, corpus, special_tokens=SPECIAL, chunk_size=64, task_size=700)
    assert len(job.counting) > 8 and job.merging
    distributed.progress(job.futures)
    assert "100% Completed" in capsys.readouterr().out
    assert job.result().words() == file_counts(corpus, PreTokenizer(SPECIAL), chunk_size=64)


@pytest.mark.parametrize("paths", [[], ["empty.txt"]])
def test_no_text_gives_empty_counters(client, corpus, paths):
    files = [corpus[0].with_name(name) for name in paths]
    assert count_words(client, files, special_tokens=[]).len == 0
    assert count_bigrams(client, files, special_tokens=[]).items() == []


@pytest.mark.parametrize(
    "change, error, message",
    [
        ({"paths": "missing"}, OSError, "No such file or directory.*missing.txt"),
        ({"paths": "one path"}, TypeError, "not a single path"),
        ({"task_size": 0}, ValueError, "task_size must be at least 1"),
        ({"boundary": "Line"}, ValueError, "Unknown boundary mode: Line"),
        ({"chunk_size": 0}, ValueError, "chunk_size must be at least 1"),
        ({"unicode_bigram_mixed_boundary": "Keep"}, ValueError, "Unknown unicode bigram mixed boundary mode"),
    ],
)
@pytest.mark.parametrize("count", [count_words, count_bigrams])
def test_failures_raise_and_leave_no_partials(client, corpus, tmp_path, count, change, error, message):
    change = dict(change)
    paths = {
        "missing": [*corpus, corpus[0].with_name("missing.txt")],
        "one path": str(corpus[0]),
        None: corpus,
    }[change.pop("paths", None)]
    with pytest.raises(error, match=message):
        count(client, paths, special_tokens=SPECIAL, partials_dir=tmp_path, **{"task_size": 700, **change})
    assert list(tmp_path.iterdir()) == []


def test_import_without_dask_says_how_to_install_it(tmp_path):
    code = "import sys; sys.modules['distributed'] = None; import vellumkit.distributed"
    result = subprocess.run([sys.executable, "-P", "-c", code], capture_output=True, text=True, cwd=tmp_path)
    assert result.returncode != 0
    assert "pip install vellumkit[dask]" in result.stderr
