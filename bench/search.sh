#!/usr/bin/env bash
# Search on large inputs: a 100,000-line list fetched from 127.0.0.1 until the
# result list is filled, the folder comparison of those lines against a folder
# of 100,000 files, and the selection summary of 100,000 rows with sizes.
# The list is served by Python's http.server.
#   bench/search.sh        (BUILD_DIR: a build of its own under a temporary folder
#                           by default)
# Everything it writes goes under a temporary folder, never into the checkout.
# Last line: search list_s=A folder_s=B selection_ms=C
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
. "$racine/bench/nginx.sh"
exige cmake ninja curl python3
donnees=$(mktemp -d)
serveur=
nettoie() {
    if [ -n "$serveur" ]; then kill "$serveur" 2>/dev/null || true; wait "$serveur" 2>/dev/null || true; fi
    rm -rf "$donnees"
}
trap nettoie EXIT
build=${BUILD_DIR:-$donnees/build}
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_recherche ramaglin >/dev/null

mkdir -p "$donnees/serveur"
python3 - "$donnees" <<'PY'
import os, sys
d = sys.argv[1]
os.makedirs(f"{d}/local", exist_ok=True)
with open(f"{d}/serveur/liste.txt", "w", encoding="utf-8", newline="") as f:
    for i in range(100000):
        f.write(f"fichier-{i:06d}.dat\tFichier numéro {i}\t{1000 + i}\tG\t1.{i % 50}\r\n")
# Half of the listed files are already present, plus 50,000 others.
for i in range(0, 100000, 2):
    open(f"{d}/local/fichier-{i:06d}.dat", "w").close()
for i in range(50000):
    open(f"{d}/local/autre-{i:06d}.bin", "w").close()
PY

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$donnees/serveur" >/dev/null 2>&1 &
serveur=$!
pret=
for _ in $(seq 50); do
    if curl -sf -o /dev/null "http://127.0.0.1:$port/liste.txt"; then pret=1; break; fi
    sleep 0.1
done
[ -n "$pret" ] || { echo "search.sh: the list server does not answer on port $port" >&2; exit 1; }

"$build/bench_recherche" recherche "$donnees/local" "http://127.0.0.1:$port/liste.txt"
