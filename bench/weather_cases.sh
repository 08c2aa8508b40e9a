#!/bin/sh
# Runs bench_weather one case a process, so that each peak resident
# memory is that case's own, and prints each against its target.
#
#   bench/weather_cases.sh [path/to/bench_weather]
set -eu

bin=${1:-build/bin/bench_weather}
[ -x "$bin" ] || { echo "weather_cases.sh: no $bin (build bench_weather)" >&2; exit 2; }

# One case: its name, time, unit, the timing thread's own CPU time (what
# other processes on the machine do not stretch; the GL driver's threads
# are not in it) and counters by name, then the verdict
# against its target in ms (- for none).
run() {
    "$bin" --benchmark_filter="^$1\$" --benchmark_format=csv 2>/dev/null | awk -F, -v want="$1" -v target="$2" '
        /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
        col["name"] {
            name = $1; gsub(/"/, "", name)
            if (name != want) next
            printf "%-45s %9.1f %-2s %9.1f", name, $col["real_time"], $col["time_unit"], $col["cpu_time"]
            split("clouds spacing_km peak_rss_mib open_ms frame_ms", keys, " ")
            for (k = 1; k <= 5; k++)
                printf " %11s", (keys[k] in col && $col[keys[k]] != "") ? $col[keys[k]] : "-"
            if (target == "-") printf "\n"
            else printf "  %s\n", ($col["real_time"] <= target) ? "within " target " ms" : "OVER " target " ms"
        }'
}

echo "machine: $(uname -m), $(nproc) cores; $(uptime)"
printf '%-45s %12s %9s %11s %11s %11s %11s %11s  %s\n' case time cpu clouds spacing_km peak_MiB open_ms frame_ms verdict
run BM_GfsConversion/0/iterations:1 1000
run BM_GfsConversion/80000/iterations:1 1000
run BM_GfsOpenAndFirstFrame/iterations:1 -
run BM_FineFieldConversion/iterations:1 2000
run BM_FineFieldOpenAndFirstFrame/iterations:1 6000
echo "after: $(uptime)"
