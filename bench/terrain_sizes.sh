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
            printf "%s %s %s", name, $col["real_time"], $col["time_unit"]
            split("peak_rss_mib rss_mib ground_mib tiles median_ms max_ms over_100ms pending_frames streaming_median_ms streaming_max_ms cpu_median_ms cpu_max_ms budget_mib first_ms", keys, " ")
            for (k = 1; k <= 14; k++)
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

printf '%-40s %12s %8s %7s %7s %6s %6s %6s %4s %7s %6s %6s %7s %7s  %s\n' \
    case time peak_MiB rss_MiB ground tiles med_ms max_ms '>100' pending st_med st_max cpu_med cpu_max verdict
# One row; memory cases are held to their budget plus the fixed cost,
# streaming ones to a median of 33 ms (all frames, and those while tiles
# were pending) and no frame over 100 ms.
line() {
    echo "$1" | awk -v fixed="$fixedPeak" -v check="$2" '{
        verdict = ""
        if (check == "memory") {
            limit = $16 + fixed
            verdict = ($4 <= limit) ? sprintf("peak within %.0f MiB", limit) : sprintf("PEAK OVER %.0f MiB", limit)
        }
        if (check == "open") verdict = ($2 <= 2000) ? "within 2 s" : "OVER 2 s"
        if (check == "stream") verdict = ($8 <= 33 && $12 <= 33 && $9 <= 100) ? "within 33/100 ms" : "OVER 33/100 ms"
        printf "%-40s %9.1f %-2s %8.1f %7.1f %7.5s %6.5s %6.5s %6.5s %4s %7s %6.5s %6.5s %7.5s %7.5s  %s\n",
            $1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, verdict
        if (check == "stream") printf "%-40s first frame, apart: %.1f ms\n", "", $17
    }'
}
line "$fixed" ""
for size in 4096 16384 65536; do
    line "$(run BM_OpenFirstFrame/$size/iterations:3)" open
done
for size in 4096 16384 65536; do
    line "$(run BM_Tour/$size/iterations:1)" memory
    line "$(run BM_Orbit64/$size/1024/iterations:1)" memory
done
line "$(run BM_Orbit64/65536/96/iterations:1)" memory
for distance in 2500 500; do
    line "$(run BM_StreamingOrbit65536/$distance/iterations:180)" stream
done
echo "fixed cost (the scene without terrain): $fixedPeak MiB peak; all in $(( $(date +%s) - start )) s"
