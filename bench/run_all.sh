#!/usr/bin/env bash
# Runs every benchmark under Wine and writes their table into DEVELOPING.md.
# Needs scripts/setup and scripts/build first; takes about thirty-four
# minutes on a 2-core machine, seven of them the 100-series long watch and
# twelve the -all measures.
# BENCH_RUNS changes the number of runs of each measurement, BENCH_SECONDS
# the length of the monitor overhead window.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
start_wineserver
trap stop_wineserver EXIT
for bench in exe_sizes monitor_overhead cpu_overhead_threads ctrl_c_latency trigger_to_dump \
             handover miniplus long_watch_soak upload_send every_instance; do
    echo "bench: $bench"
    if [[ "$bench" == handover && "$VH_RUNS_32_BIT" == 0 ]]; then
        python3 bench/not_measured.py handover "Hand-over (32-bit build dumping a 64-bit target)" \
            "this machine's kernel cannot run 32-bit programs"
        continue
    fi
    python3 bench/$bench.py
done
python3 bench/report.py
