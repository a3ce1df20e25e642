"""Writes the benchmark results of build/bench/*.json as a table into
DEVELOPING.md, between the bench markers, with the machine and the date."""

import json
import os
import platform
import subprocess
import time

import benchlib

ORDER = ["monitor_overhead", "cpu_overhead_threads", "ctrl_c_latency", "trigger_to_dump",
         "handover", "miniplus", "long_watch_soak", "upload_send_mini", "upload_send_full",
         "every_instance_cpu", "every_instance_memory", "exe_sizes"]
BEGIN = "<!-- bench results begin -->"
END = "<!-- bench results end -->"


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) / 1024 / 1024
    try:
        wine = subprocess.run(["wine", "--version"], capture_output=True, text=True,
                              env=benchlib.harness.wine_environment(), timeout=60).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        wine = "wine (version unknown)"
    return "%s, %d cores, %.0f GiB, Linux %s, %s" % (model, os.cpu_count(), memory,
                                                    platform.release(), wine)


def main():
    rows = ["| Measure | Median | Baseline (same run) | Ratio | Target | Met |",
            "|---|---|---|---|---|---|"]
    dates = []
    for name in ORDER:
        path = benchlib.RESULTS / (name + ".json")
        if not path.exists():
            continue
        r = json.loads(path.read_text())
        dates.append(r["measured"])
        met = {True: "yes", False: "**no**", None: "-"}[r["met"]]
        value = r["value"] + (" — sizes " + r["sizes"] if "sizes" in r else "")
        rows.append("| %s | %s | %s | %s | %s | %s |" % (
            r["title"], value, r["baseline"], r["ratio"], r["target"], met))
    text = "\n".join(["Measured %s on %s." % (max(dates) if dates else
                                              time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
                                              machine()), ""] + rows)
    readme = benchlib.ROOT / "DEVELOPING.md"
    content = readme.read_text()
    if BEGIN not in content or END not in content:
        raise SystemExit("DEVELOPING.md has no bench markers")
    head, rest = content.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    readme.write_text(head + BEGIN + "\n" + text + "\n" + END + tail)
    print(text)


if __name__ == "__main__":
    main()
