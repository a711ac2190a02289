#!/usr/bin/env python3
"""Writes the figures of a scripts/bench.sh run into doc/performance.md.

Usage: scripts/bench_table.py <results folder> <document>   (scripts/bench.sh runs it)

The results folder holds what bench.sh collected: each Google Benchmark program's JSON
output (<program>.json), bench_compare's printed lines (compare-<mode>.txt), and the
load average before and after (load-start.txt, load-end.txt). The tables replace what
stands between the document's two markers, with the date, the commit and the machine
they were measured on; nothing else of the document changes.
"""
import json
import os
import platform
import re
import subprocess
import sys
import time

BEGIN = "<!-- scripts/bench.sh writes from here: do not edit by hand -->"
END = "<!-- scripts/bench.sh writes up to here -->"
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def compare_line(results, mode, pattern):
    """The groups of the first line of bench_compare's output for `mode` that matches."""
    path = os.path.join(results, f"compare-{mode}.txt")
    text = open(path, encoding="utf-8").read()
    m = re.search(pattern, text, re.MULTILINE)
    if not m:
        sys.exit(f"bench_table: {path} has no line like {pattern!r}: has bench_compare's output changed?")
    return m.groups()


def met(word):
    return "met" if word == "met" else "**not met**"


def limits_table(results):
    rows = []
    a, ta, b, tb, n = compare_line(results, "image", r"^image query: (.+?) ([\d.]+) ms, (.+?) ([\d.]+) ms \(medians of (\d+) rounds\)")
    ratio, lo, hi, limit, ok = compare_line(results, "image", r"^image query: ratio ([\d.]+) \(per-round spread ([\d.]+) to ([\d.]+)\), limit ([\d.]+): (met|NOT MET)")
    mib, = compare_line(results, "image", r"^image query \(([\d.]+) MiB ALL file")
    rows.append((f"`winmarlo -e` on a {mib} MiB ALL file against `cat` of it, warm cache",
                 f"{ta} ms / {tb} ms = {ratio} (rounds {lo} to {hi}, {n} rounds)", f"{limit}: {met(ok)}"))
    peak, ok = compare_line(results, "image", r"^image query: peak resident memory ([\d.]+) MiB, limit 8 MiB: (met|NOT MET)")
    rows.append(("peak resident memory of that `winmarlo -e`", f"{peak} MiB", f"8 MiB: {met(ok)}"))

    _, ta, _, tb, n = compare_line(results, "inventory", r"^inventory: (.+?) ([\d.]+) ms, (.+?) ([\d.]+) ms \(medians of (\d+) rounds\)")
    ratio, lo, hi, limit, ok = compare_line(results, "inventory", r"^inventory: ratio ([\d.]+) \(per-round spread ([\d.]+) to ([\d.]+)\), limit ([\d.]+): (met|NOT MET)")
    rows.append(("inventory of 256 simulated boards against 64 (the demo boards repeated), timing model off",
                 f"{ta} ms / {tb} ms = {ratio} (rounds {lo} to {hi}, {n} rounds)", f"{limit}: {met(ok)}"))

    for kind, target in (("ALL", "a legacy board"), ("GRP", "a Ferrox board")):
        board, blobs = compare_line(results, "flash", rf"^flash {kind} \(64 MiB.*?\): board file (\d+) bytes, binary files ([\d.]+) MiB")
        peak, small, limit, ok = compare_line(results, "flash", rf"^flash {kind}: peak resident memory ([\d.]+) MiB \(1 KiB payload: ([\d.]+) MiB\), limit (.+?): (met|NOT MET)")
        rows.append((f"peak resident memory of `winmarlo -f` downloading a 64 MiB {kind} file to {target} "
                     "(timing model off)", f"{peak} MiB (a 1 KiB payload: {small} MiB)", f"{limit}: {met(ok)}"))
        wall, cpu, swall, scpu, n, pwall, pcpu = compare_line(
            results, "flash", rf"^flash {kind}: wall ([\d.]+) ms, CPU ([\d.]+) ms \(1 KiB payload: ([\d.]+) ms, ([\d.]+) ms; "
            r"medians of (\d+)\); per MiB beyond that: wall ([\d.]+) ms, CPU ([\d.]+) ms")
        rows.append((f"that {kind} execution's wall time and CPU per MiB beyond a 1 KiB payload's",
                     f"{pwall} ms, {pcpu} ms CPU (whole runs {wall} ms, {cpu} ms CPU; 1 KiB: {swall} ms, "
                     f"{scpu} ms CPU; medians of {n})", ""))
        rows.append((f"what the simulator keeps after that {kind} download",
                     f"a board file of {int(board) / 1024:.1f} KiB, binary files of {blobs} MiB", ""))

    kinds, = compare_line(results, "timing", r"^timing model: modelled by kind \(ms\):(.*)$")
    m, w, t, n = compare_line(results, "timing", r"^timing model: M ([\d.]+) ms, W ([\d.]+) ms, T ([\d.]+) ms \(medians of (\d+) runs\)")
    ratio, lo, hi, ok = compare_line(results, "timing", r"^timing model: T / \(M \+ W\) ([\d.]+) \(spread ([\d.]+) to ([\d.]+)\), limit 1.05: (met|NOT MET)")
    by_kind = ", ".join(f"{k} {float(v):.0f}" for k, v in re.findall(r"(\w+) ([\d.]+)", kinds))
    rows.append((f"the demo update under the timing model: modelled time M ({by_kind} ms) and the "
                 "program's own waits W", f"M {m} ms, W {w} ms", ""))
    rows.append(("the demo update under the timing model: wall time T / (M + W)",
                 f"{t} ms / {float(m) + float(w):.1f} ms = {ratio} (spread {lo} to {hi}, {n} runs)", f"1.05: {met(ok)}"))
    lines = ["| Measure | Figure | Limit |", "|---|---|---|"]
    lines += [f"| {a} | {b} | {c} |" for a, b, c in rows]
    return lines


def gbench(results, program):
    with open(os.path.join(results, f"{program}.json"), encoding="utf-8") as f:
        return json.load(f)


def downloads_table(results):
    lines = ["| Download | Library calls | The protocol's minimum | Calls / minimum | CPU per MiB | Download status |",
             "|---|---|---|---|---|---|"]
    what = {"BM_DownloadPrg": "a 4 MiB PRG image", "BM_DownloadAll": "a 4 MiB ALL file",
            "BM_DownloadGrp": "an 8 MiB GRP file"}
    for b in gbench(results, "bench_download")["benchmarks"]:
        name = b["name"].split("/")[0]
        if b.get("run_type", "iteration") == "iteration" and name in what:
            lines.append(f"| {what[name]} | {b['calls']:.0f} | {b['minimum']:.0f} | {b['ratio']:.2f} | "
                         f"{b['cpu_ms_per_MiB']:.2f} ms | {b['result']:.0f} |")
    return lines


STANDARD = {"name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
            "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
            "bytes_per_second", "items_per_second", "label", "error_occurred", "error_message", "aggregate_name"}


def amount(value, unit):
    return f"{value:.3g} {unit}" if value < 1000 else f"{value:,.0f} {unit}"


def number(value):
    return f"{value:.0f}" if float(value).is_integer() else f"{value:.4g}"


def every_benchmark(results):
    lines = ["| Program | Benchmark | Time | CPU | Rate and counters |", "|---|---|---|---|---|"]
    for program in ("bench_image", "bench_catalog", "bench_mailbox", "bench_download"):
        for b in gbench(results, program)["benchmarks"]:
            if b.get("run_type", "iteration") != "iteration":
                continue
            also = []
            if "bytes_per_second" in b:
                also.append(f"{b['bytes_per_second'] / 2**20:,.0f} MiB/s")
            if "items_per_second" in b:
                also.append(f"{b['items_per_second']:,.0f} items/s")
            also += [f"{k} {number(b[k])}" for k in sorted(b.keys() - STANDARD) if isinstance(b[k], (int, float))]
            unit = b.get("time_unit", "ns")
            lines.append(f"| {program} | `{b['name']}` | {amount(b['real_time'], unit)} | "
                         f"{amount(b['cpu_time'], unit)} | {', '.join(also)} |")
    return lines


def machine(results):
    cpu = "unknown processor"
    try:
        for line in open("/proc/cpuinfo", encoding="utf-8"):
            if line.startswith("model name"):
                cpu = " ".join(line.split(":", 1)[1].split())
                break
    except OSError:
        pass
    load = [open(os.path.join(results, f"load-{w}.txt")).read().split()[0] for w in ("start", "end")]
    return (f"{cpu}, {os.cpu_count()} logical processors, {platform.system()} {platform.release()}; "
            f"load average {load[0]} when it started and {load[1]} when it ended")


def commit():
    def git(*args):
        return subprocess.run(["git", "-C", SOURCE, *args], capture_output=True, text=True).stdout.strip()
    head = git("rev-parse", "--short", "HEAD") or "no git commit"
    changed = [l for l in git("status", "--porcelain", "--untracked-files=no").splitlines()
               if not l.endswith("doc/performance.md")]
    return head + (" with uncommitted changes" if changed else "")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    results, document = sys.argv[1:]
    text = open(document, encoding="utf-8").read()
    if BEGIN not in text or END not in text:
        sys.exit(f"bench_table: {document} lacks the markers {BEGIN!r} and {END!r}")
    block = [BEGIN, "",
             f"Measured by `scripts/bench.sh` on {time.strftime('%Y-%m-%d', time.gmtime())} (UTC), commit "
             f"{commit()}, Release build, on {machine(results)}.", "",
             "### Against their limits", ""] + limits_table(results) + [
             "", "### Downloads through the simulator: library calls and CPU", ""] + downloads_table(results) + [
             "", "### Every benchmark of `bench/`", ""] + every_benchmark(results) + ["", END]
    before, rest = text.split(BEGIN, 1)
    after = rest.split(END, 1)[1]
    with open(document + ".tmp", "w", encoding="utf-8") as f:
        f.write(before + "\n".join(block) + after)
    os.replace(document + ".tmp", document)
    print(f"bench_table: wrote the figures into {document}")


if __name__ == "__main__":
    main()
