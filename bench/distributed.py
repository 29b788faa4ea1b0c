"""Word counting on a Dask cluster against get_words_from_file in one process.

The corpus is the shared corpora concatenated 20 times (over 1 GB, the file of count.py). It is
counted:
- by get_words_from_file in a child process pinned with taskset to one core, and to both;
- by vellumkit.distributed.count_words on a LocalCluster of 1 and of 2 worker processes with
  one Dask thread each, every worker process pinned to a core of its own (the core's worker
  pool sizes itself from the affinity, so one worker is one core), with the partials carried
  by Dask and, on 2 workers, kept as files in a directory.
MB/s counts the whole call: finding the segments, counting, the merge tree and loading the
result on the client. The reduction overhead is the time from the end of the last counting task
to the returned counter (the merges that could not overlap counting, moving the final partials
to the client and merging them there), as a share of the whole call. MB per CPU-second counts the
CPU time of the counting processes (the workers'; the client's final merges are not in it): it
shows the cost per core even when other work shares the machine and stretches the wall times. Every cluster count is checked
against the one-process count (distinct words and total occurrences).

Run: make bench   (or .venv-bench/bin/python bench/distributed.py)
"""

import json
import logging
import os
import pathlib
import shutil
import subprocess
import sys
import time

# This script's folder comes first on sys.path, where this very file would shadow Dask's
# `distributed`; it is left out while Dask is imported.
HERE = pathlib.Path(__file__).resolve().parent
sys.path[:] = [entry for entry in sys.path if pathlib.Path(entry or ".").resolve() != HERE]
import distributed  # noqa: E402

sys.path.insert(0, str(HERE))
from common import EOT, WORK, print_table, save_results  # noqa: E402
from count import corpus_copy  # noqa: E402
from vellumkit.distributed import submit_word_count  # noqa: E402

COPIES = 20
# Every figure is the best of this many runs: the machine may be shared.
REPEATS = 2
BASELINE_CHILD = """
import json, sys, time
from vellumkit import PreTokenizer
pre_tokenizer = PreTokenizer([{eot!r}])
best = float("inf")
for _ in range({repeats}):
    started, cpu_started = time.perf_counter(), time.process_time()
    words = pre_tokenizer.get_words_from_file(sys.argv[1])
    if time.perf_counter() - started < best:
        best, cpu = time.perf_counter() - started, time.process_time() - cpu_started
print(json.dumps({{"seconds": best, "cpu_seconds": cpu, "words": len(words), "total": sum(words.values())}}))
"""


def baseline(path, cores):
    command = ["taskset", "-c", cores, sys.executable, "-P", "-c", BASELINE_CHILD.format(eot=EOT, repeats=REPEATS), str(path)]
    return json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)


def pin_worker_process(core):
    """Pins every thread of the calling worker process to `core`; threads started later, the
    core's worker pool among them, inherit it."""
    for thread in os.listdir("/proc/self/task"):
        os.sched_setaffinity(int(thread), {core})


def process_cpu_seconds():
    return time.process_time()


def workers_cpu_seconds(client):
    return sum(client.run(process_cpu_seconds).values())


def cluster_count(path, workers, partials_dir):
    cores = sorted(os.sched_getaffinity(0))
    with distributed.LocalCluster(
        n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None, silence_logs=logging.ERROR
    ) as cluster, distributed.Client(cluster) as client:
        for index, address in enumerate(sorted(client.scheduler_info()["workers"])):
            client.run(pin_worker_process, cores[index % len(cores)], workers=[address])
        runs = [timed_count(client, path, partials_dir) for _ in range(REPEATS)]
    return min(runs, key=lambda run: run["seconds"])


def timed_count(client, path, partials_dir):
    cpu_started = workers_cpu_seconds(client)
    started = time.perf_counter()
    job = submit_word_count(client, [path], special_tokens=[EOT], partials_dir=partials_dir)
    distributed.wait(job.counting)
    counted = time.perf_counter()
    counter = job.result()
    done = time.perf_counter()
    cpu = workers_cpu_seconds(client) - cpu_started
    words = counter.words()
    return {
        "seconds": done - started,
        "cpu_seconds": cpu,
        "reduction_seconds": done - counted,
        "tasks": len(job.counting),
        "merges": len(job.merging),
        "words": len(words),
        "total": sum(words.values()),
    }


def main():
    path = corpus_copy(COPIES)
    size_mb = os.path.getsize(path) / 1e6
    partials_dir = WORK / "partials"
    partials_dir.mkdir(parents=True, exist_ok=True)
    one_process = {cores: baseline(path, cores) for cores in ["0", "0,1"]}
    runs = {
        "1 worker, partials in Dask": cluster_count(path, 1, None),
        "2 workers, partials in Dask": cluster_count(path, 2, None),
        "2 workers, partials in a directory": cluster_count(path, 2, partials_dir),
    }
    shutil.rmtree(partials_dir)
    reference = one_process["0"]
    rows = [
        [f"get_words_from_file, one process, {len(cores.split(','))} core(s)", f"{size_mb / run['seconds']:.1f}", f"{size_mb / run['cpu_seconds']:.1f}", "", ""]
        for cores, run in one_process.items()
    ]
    for label, run in runs.items():
        assert (run["words"], run["total"]) == (reference["words"], reference["total"]), label
        run["mb_s"] = size_mb / run["seconds"]
        share = run["reduction_seconds"] / run["seconds"]
        rows.append([
            f"count_words, {label}", f"{run['mb_s']:.1f}", f"{size_mb / run['cpu_seconds']:.1f}",
            f"{run['reduction_seconds']:.2f} s ({share:.0%})", f"{run['tasks']} + {run['merges']}",
        ])
    scaling = runs["2 workers, partials in Dask"]["mb_s"] / runs["1 worker, partials in Dask"]["mb_s"]
    print_table(
        f"word counting of {size_mb / 1000:.2f} GB (corpora x{COPIES}), one Dask thread per worker process",
        ["counting", "MB/s", "MB per CPU-s", "reduction overhead", "count + merge tasks"],
        rows,
    )
    print(f"scaling 1 -> 2 workers: {scaling:.2f}x")
    results = save_results("distributed", {"size_mb": size_mb, "one_process": one_process, "cluster": runs, "scaling": scaling})
    print(f"results: {results}")


if __name__ == "__main__":
    main()
