#!/bin/sh
# Runs bench_terrain_size one case a process, so that each peak resident
# memory is that case's own, and prints them in a table with the limit a
# tour or orbit must keep: the ground's budget plus the fixed cost (the
# peak of the same scene without terrain).
#
#   bench/terrain_sizes.sh [path/to/bench_terrain_size]
#
# The models are made first, in a process of their own (minutes the first
# time, nothing after).
set -eu

bin=${1:-build/bin/bench_terrain_size}
[ -x "$bin" ] || { echo "terrain_sizes.sh: no $bin (build bench_terrain_size)" >&2; exit 2; }

# One case, as CSV: its header and its row, counters by name.
run() {
    "$bin" --benchmark_filter="^$1\$" --benchmark_format=csv 2>/dev/null | awk -F, -v want="$1" '
        /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
        col["name"] {
            name = $1; gsub(/"/, "", name)
            if (name != want) next
            v = "-"
            printf "%s %s %s", name, $col["real_time"], $col["time_unit"]
            split("peak_rss_mib rss_mib tiles median_ms max_ms over_100ms pending_frames", keys, " ")
            for (k = 1; k <= 7; k++)
                printf " %s", (keys[k] in col && $col[keys[k]] != "") ? $col[keys[k]] : "-"
            printf "\n"
        }'
}

echo "machine: $(uname -m), $(nproc) cores; $(uptime)"
start=$(date +%s)
run BM_MakeModels/iterations:1 > /dev/null
echo "models ready after $(( $(date +%s) - start )) s"

fixed=$(run BM_SceneWithoutTerrain/iterations:10)
fixedPeak=$(echo "$fixed" | awk '{ print $4 }')
budget=1024
limit=$(awk -v b="$budget" -v f="$fixedPeak" 'BEGIN { printf "%.0f", b + f }')

printf '%-28s %12s %10s %9s %7s %10s %8s %6s %8s  %s\n' \
    case time peak_MiB rss_MiB tiles median_ms max_ms >100ms pending verdict
line() {
    echo "$1" | awk -v limit="$limit" -v check="$2" '{
        verdict = ""
        if (check == "memory") verdict = ($4 <= limit) ? "peak within " limit " MiB" : "PEAK OVER " limit " MiB"
        if (check == "open") verdict = ($2 <= 2000) ? "open within 2 s" : "OPEN OVER 2 s"
        if (check == "stream") verdict = ($7 <= 33 && $8 <= 100) ? "frames within 33/100 ms" : "FRAMES OVER 33/100 ms"
        printf "%-28s %9.1f %-2s %10.1f %9.1f %7s %10s %8s %6s %8s  %s\n", $1, $2, $3, $4, $5, $6, $7, $8, $9, $10, verdict
    }'
}
line "$fixed" ""
for size in 4096 16384 65536; do
    line "$(run BM_OpenFirstFrame/$size/iterations:3)" open
done
for size in 4096 16384 65536; do
    line "$(run BM_Tour/$size/iterations:1)" memory
    line "$(run BM_Orbit64/$size/iterations:1)" memory
done
line "$(run BM_StreamingOrbit65536/iterations:360)" stream
echo "limit: budget $budget MiB + fixed cost $fixedPeak MiB = $limit MiB; all in $(( $(date +%s) - start )) s"
