#!/usr/bin/env python3
"""Prints the benchmarks' JSON results as one Markdown table."""
import json
import re
import sys

# Each pattern names a benchmark and, by substitution, its plain counterpart.
COUNTERPARTS = [
    (r"_Ours\b", "_Std"),                        # strings: std::string
    (r"LinesRuntime", "LinesPlain"),             # network: a plain socket pair
    (r"^BM_FillBox/", "BM_PlainFill/"),          # boxes: a plain fill of the buffer
    (r"^BM_ScaledCopy/\d+", "BM_Memcpy640x400"),  # scaled copy: memcpy of its bytes
    (r"^BM_PageWrite640x400", "BM_Memcpy640x400"),
    (r"^BM_Unchanged", "BM_FullRedraw"),         # refresh: a full redraw
    (r"^BM_OneRow", "BM_FullRedraw"),
    (r"^BM_PrivateOneRow", "BM_PrivateFullRedraw"),
    (r"^BM_PageScale", "BM_PageCopy"),           # printed page: a plain copy of its pixels
]


def per_op(b):
    t = b.get("real_time") if "manual_time" in b["name"] or "real_time" in b["name"] else b.get("cpu_time")
    return t, b.get("time_unit", "ns")


def human(value, unit):
    ns = value * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[unit]
    for limit, div, u in ((1e3, 1, "ns"), (1e6, 1e3, "µs"), (1e9, 1e6, "ms")):
        if ns < limit:
            return f"{ns / div:.3g} {u}"
    return f"{ns / 1e9:.3g} s"


def counters(b):
    skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
            "real_time", "cpu_time", "time_unit", "family_index", "per_family_instance_index",
            "aggregate_name", "aggregate_unit", "label", "error_occurred", "error_message"}
    parts = []
    for k, v in b.items():
        if k in skip or not isinstance(v, (int, float)):
            continue
        if k == "bytes_per_second":
            parts.append(f"{v / 1e6:.4g} MB/s")
        elif k == "items_per_second":
            parts.append(f"{v:.4g} items/s")
        else:
            parts.append(f"{k} {v:.4g}")
    return ", ".join(parts)


def main(paths):
    rows = []
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        results = {}
        for b in data["benchmarks"]:
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            name = b.get("run_name", b["name"])
            results[name] = b
        for name, b in results.items():
            t, unit = per_op(b)
            base, ratio = "", ""
            for pattern, repl in COUNTERPARTS:
                if re.search(pattern, name):
                    other = re.sub(pattern, repl, name)
                    if other in results and other != name:
                        tb, ub = per_op(results[other])
                        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
                        base = other
                        ratio = f"{t * scale[unit] / (tb * scale[ub]):.3g}×"
                    break
            rows.append((path.rsplit("/", 1)[-1].removesuffix(".json"), name, human(t, unit), base, ratio, counters(b)))
    print("| program | benchmark | per operation | against | ratio | counters |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")


if __name__ == "__main__":
    main(sys.argv[1:])
