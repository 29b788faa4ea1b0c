"""FIFOs given as paths fail at once with OSError or RuntimeError instead of blocking forever,
and devices are refused for reading instead of reading as empty or endless files."""

import json
import os
import subprocess
import sys
import textwrap

import pytest

# Each call runs in a child process with a deadline, so that a call that blocks fails the test
# instead of hanging the suite.
CHILD = textwrap.dedent("""
    import json, sys
    from vellumkit import BpeEncoderBase, PreTokenizer
    special = sys.argv[1]
    pre_tokenizer = PreTokenizer([])
    calls = {
        "get_words_from_file": lambda: pre_tokenizer.get_words_from_file(special),
        "find_chunk_boundaries": lambda: pre_tokenizer.find_chunk_boundaries(special),
        "get_words_from_segment": lambda: pre_tokenizer.get_words_from_segment(special, 0, 1),
        "load_word_counter": lambda: pre_tokenizer.load_word_counter(special),
        "select_unicode_bigrams_from_file": lambda: pre_tokenizer.select_unicode_bigrams_from_file(special),
        "save": lambda: pre_tokenizer.word_counter().save(special),
        "vocab_file": lambda: BpeEncoderBase("vellum", "byte", None, [], special, None, []),
        "merges_file": lambda: BpeEncoderBase("vellum", "byte", {"a": 0}, None, None, special, []),
    }
    outcome = {}
    for name, call in calls.items():
        try:
            call()
            outcome[name] = "returned"
        except Exception as error:
            outcome[name] = f"{type(error).__name__}: {error}"
    print(json.dumps(outcome))
""")

EXPECTED_TYPES = {"get_words_from_segment": "RuntimeError", "vocab_file": "RuntimeError", "merges_file": "RuntimeError"}


def outcomes(path):
    done = subprocess.run([sys.executable, "-P", "-c", CHILD, str(path)], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


FIFO_SAVE = {
    # With no reader, opening a FIFO for writing fails at once.
    "fifo": "OSError: IO error: No such device or address (os error 6)",
    "fifo with a reader": "OSError: IO error: cannot write to a FIFO: only regular files and devices are written",
    # Writing to a device is allowed: saving to /dev/full reports the device's own error.
    "device": "returned",
}


@pytest.mark.parametrize("kind", list(FIFO_SAVE))
def test_every_file_reading_or_writing_call_refuses_a_special_file(tmp_path, kind):
    reader = None
    if kind == "device":
        path = "/dev/zero"
    else:
        path = tmp_path / "pipe"
        os.mkfifo(path)
        if kind == "fifo with a reader":
            reader = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    try:
        results = outcomes(path)
    finally:
        if reader is not None:
            os.close(reader)
    assert results.pop("save") == FIFO_SAVE[kind]
    file_kind = "a character device" if kind == "device" else "a FIFO"
    for name, outcome in results.items():
        kind_error = EXPECTED_TYPES.get(name, "OSError")
        assert outcome == f"{kind_error}: IO error: cannot read from {file_kind}: only regular files are read", name
