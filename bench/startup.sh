#!/usr/bin/env bash
# Start-up time: from process start until the main window is shown (offscreen),
# on a real parameter file. Median of several runs.
#   bench/startup.sh       (BUILD_DIR: a build of its own under a temporary folder
#                           by default; RUNS=15)
# Everything it writes goes under a temporary folder, never into the checkout;
# its runtime, cache and state folders are its own there, so that an open
# window of the program (its single-instance lock) does not stop it.
# Last line: startup ms=X
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
. "$racine/bench/nginx.sh"
exige cmake ninja
travail=$(mktemp -d)
trap 'rm -rf "$travail"' EXIT
build=${BUILD_DIR:-$travail/build}
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_recherche ramaglin >/dev/null
# After the build: a compiler cache keeps its files under XDG_CACHE_HOME.
dossiers_a_part "$travail"

printf 'REP_TMP=%s\r\nTITRE_TELECHARGEMENT=Mesure#du démarrage\r\n' "$travail" >"$travail/service.txt"

export QT_QPA_PLATFORM=offscreen
"$build/bench_recherche" demarrage "$travail/service.txt" 2>/dev/null # warm the caches
mesures=()
for _ in $(seq "${RUNS:-15}"); do
    debut=$(date +%s%N)
    "$build/bench_recherche" demarrage "$travail/service.txt" 2>/dev/null
    fin=$(date +%s%N)
    mesures+=($(( (fin - debut) / 1000000 )))
done
median=$(printf '%s\n' "${mesures[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "runs: ${mesures[*]}"
echo "startup ms=$median"
