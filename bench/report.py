#!/usr/bin/env python3
"""Turns the benchmark's raw runs into a table and a JSON summary.

Medians over the measured runs (round 0 is the warm-up); ratios are ours
over the peer's, pair by pair; the targets are those the stub is held to.
"""
import argparse
import json
import os
import platform
import statistics
import subprocess

MIB = 1024 * 1024


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def load_runs(path):
    runs = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line.startswith("{"):
                continue
            run = json.loads(line)
            if run.get("round", 0) == 0:
                continue
            runs.setdefault(run["name"], []).append(run)
    return runs


def summarise(runs):
    summary = {}
    for name, items in runs.items():
        start = [r.get("start_to_launch_ms") for r in items]
        total = [r.get("total_ms") for r in items if r.get("total_ms") is not None]
        after = [
            r["total_ms"] - r["installer_end_ms"]
            for r in items
            if r.get("total_ms") is not None and r.get("installer_end_ms") is not None
        ]
        summary[name] = {
            "runs": len(items),
            # The floor starts no installer program.
            "failed_runs": sum(1 for r in items if r.get("exit_code") != 0
                               or (r.get("start_to_launch_ms") is None and not name.endswith("/floor"))),
            "start_to_launch_ms": median(start),
            "total_ms": median(total),
            "total_min_ms": min(total) if total else None,
            "total_max_ms": max(total) if total else None,
            "installer_end_to_exit_ms": median(after),
            "peak_working_set_bytes": max((r.get("peak_working_set") or 0) for r in items),
            "left_behind": sorted({p for r in items for p in r.get("left_behind", [])}),
        }
    return summary


def ratio(a, b):
    return a / b if a is not None and b else None


def wine_version():
    try:
        return subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True).stdout.strip()
    except OSError:
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--peer-stub", required=True)
    parser.add_argument("--json", required=True)
    args = parser.parse_args()

    summary = summarise(load_runs(args.runs))
    with open(args.native) as f:
        native = json.load(f)

    archs = sorted({name.split(" ")[0] for name in summary})
    peers = ("nsis-window", "nsis-silent", "nsis-window-nocrc", "nsis-silent-nocrc")
    comparisons = []
    for arch in archs:
        for payload in ("small", "large"):
            ours = summary.get(f"{arch} {payload}/ours", {})
            for peer in peers:
                theirs = summary.get(f"{arch} {payload}/{peer}", {})
                comparisons.append({
                    "arch": arch,
                    "package": payload,
                    "peer": peer,
                    "start_to_launch_ratio": ratio(ours.get("start_to_launch_ms"), theirs.get("start_to_launch_ms")),
                    "total_ratio": ratio(ours.get("total_ms"), theirs.get("total_ms")),
                })

    def find(arch, package, peer, key):
        for c in comparisons:
            if c["arch"] == arch and c["package"] == package and c["peer"] == peer:
                return c[key]
        return None

    targets = []
    for arch in archs:
        large = summary.get(f"{arch} large/ours", {})
        targets.append((f"{arch} large: total <= NSIS silent without CRC", find(arch, "large", "nsis-silent-nocrc", "total_ratio"), 1.0))
        silent = summary.get(f"{arch} large/ours-silent", {})
        peer = summary.get(f"{arch} large/nsis-silent-nocrc", {})
        targets.append((f"{arch} large, /S: total <= NSIS silent without CRC",
                        ratio(silent.get("total_ms"), peer.get("total_ms")), 1.0))
        for mode in ("", "-silent"):
            digested = summary.get(f"{arch} large/ours{mode}", {})
            undigested = summary.get(f"{arch} large/ours-nodigest{mode}", {})
            shown = " /S" if mode else ""
            targets.append((f"{arch} large{shown}: total with the digest <= 1.10 x without",
                            ratio(digested.get("total_ms"), undigested.get("total_ms")), 1.10))
        for payload in ("small", "large"):
            floor = summary.get(f"{arch} {payload}/floor", {})
            for mode in ("", "-silent"):
                ours = summary.get(f"{arch} {payload}/ours{mode}", {})
                shown = " /S" if mode else ""
                # No limit: what the floor shows is where the rest of the time goes.
                targets.append((f"{arch} {payload}{shown}: total / the floor's (no limit)",
                                ratio(ours.get("total_ms"), floor.get("total_ms")), float("inf")))
        targets.append((f"{arch} large: max total <= 1.5 x median", ratio(large.get("total_max_ms"), large.get("total_ms")), 1.5))
        targets.append((f"{arch} small: start-to-launch <= 0.8 x NSIS window", find(arch, "small", "nsis-window", "start_to_launch_ratio"), 0.8))
        targets.append((f"{arch} small: total <= NSIS window", find(arch, "small", "nsis-window", "total_ratio"), 1.0))

    extract_s = median(native["extract_seconds"])
    copy_s = median(native["copy_seconds"])
    throughput = {
        "bytes": native["bytes"],
        "files": native["files"],
        "extract_seconds_median": extract_s,
        "copy_seconds_median": copy_s,
        "extract_mib_per_s": native["bytes"] / MIB / extract_s if extract_s else None,
        "copy_mib_per_s": native["bytes"] / MIB / copy_s if copy_s else None,
        "extract_over_copy_speed": copy_s / extract_s if extract_s else None,
        "extract_calls": native.get("extract_calls"),
        "copy_calls": native.get("copy_calls"),
        "disk": native.get("disk"),
    }
    sizes = {"stub_i686_bytes": os.path.getsize(args.stub), "peer_stub_x86_unicode_zlib_bytes": os.path.getsize(args.peer_stub)}
    targets.append(("native extraction >= 0.95 x cp -r speed", 0.95 / throughput["extract_over_copy_speed"]
                    if throughput["extract_over_copy_speed"] else None, 1.0))
    targets.append(("i686 stub < 92,672 bytes", sizes["stub_i686_bytes"] / 92672, 0.99999))

    result = {
        "machine": {"cpus": os.cpu_count(), "kernel": platform.release(), "wine": wine_version()},
        "installers": summary,
        "comparisons": comparisons,
        "targets": [{"target": t, "ratio": r, "limit": limit, "met": r is not None and r <= limit} for t, r, limit in targets],
        "native_extraction": throughput,
        "sizes": sizes,
    }
    with open(args.json, "w") as f:
        json.dump(result, f, indent=2)

    def ms(value):
        return f"{value:9.1f}" if value is not None else "      n/a"

    print()
    print(f"{'installer':<28}{'start-to-launch ms':>19}{'total ms':>10}{'total min-max ms':>19}{'end->exit ms':>13}{'peak WS MiB':>12}")
    for name in sorted(summary):
        s = summary[name]
        spread = f"{s['total_min_ms']:.0f}-{s['total_max_ms']:.0f}" if s["total_min_ms"] is not None else "n/a"
        print(f"{name:<28}{ms(s['start_to_launch_ms']):>19}{ms(s['total_ms']):>10}{spread:>19}{ms(s['installer_end_to_exit_ms']):>13}"
              f"{s['peak_working_set_bytes'] / MIB:>12.1f}"
              + (f"  ({s['failed_runs']} failed)" if s["failed_runs"] else "")
              + (f"  left behind: {', '.join(s['left_behind'])}" if s["left_behind"] else ""))
    print()
    print(f"{'ours / peer':<34}{'start-to-launch':>16}{'total':>8}")
    for c in comparisons:
        fmt = lambda v: f"{v:.2f}" if v is not None else "n/a"
        label = f"{c['arch']} {c['package']} vs {c['peer']}"
        print(f"{label:<34}{fmt(c['start_to_launch_ratio']):>16}{fmt(c['total_ratio']):>8}")
    print()
    for t in result["targets"]:
        shown = f"{t['ratio']:.2f}" if t["ratio"] is not None else "n/a"
        print(f"{'met ' if t['met'] else 'MISS'} {t['target']}: {shown}")
    print()
    print(f"native, {throughput['files']} files, {throughput['bytes'] / MIB:.0f} MiB on {throughput['disk']}:")
    print(f"  quillfen-pack extract {extract_s:.3f} s ({throughput['extract_mib_per_s']:.0f} MiB/s), "
          f"cp -r {copy_s:.3f} s ({throughput['copy_mib_per_s']:.0f} MiB/s): "
          f"{throughput['extract_over_copy_speed']:.2f} of the copy's speed")
    print(f"  calls: extract {throughput['extract_calls']}, cp -r {throughput['copy_calls']}")
    print(f"stub: {sizes['stub_i686_bytes']} bytes (i686, shipped) against {sizes['peer_stub_x86_unicode_zlib_bytes']} "
          f"(NSIS x86-unicode zlib stub)")
    print(f"written: {args.json}")


if __name__ == "__main__":
    main()
