#!/usr/bin/env bash
# Search on large inputs, lists served by nginx on 127.0.0.1, the identifier
# filter on (every line passes it):
#   - a 100,000-line list fetched until the result list is filled (list_s), the
#     folder comparison of those lines against a folder of 100,000 files
#     (folder_s), and the selection summary of 100,000 rows with sizes
#     (selection_ms);
#   - a 1,000,000-line list (about 58 MB), in a process of its own: from the
#     click on "Lancer la recherche" to the filled result list, search_1m_s
#     (bar: 0.5), the peak resident memory of that search above what the process
#     held before the click, search_1m_mib (bar: twice the list's size plus
#     50 MiB, printed above the last line), and the selection summary of the
#     1,000,000 rows all selected, selection_1m_ms (bar: 30);
#   - the same list behind the marker line and a parameter block
#     (RECUPERE_PARAMETRES_LISTE=O): search_1m_marked_s (bar: 0.5) and
#     search_1m_marked_mib (bar: the same as the unmarked list's), which cut the
#     block from the lines in memory rather than read them again;
#   - the same list signed (CLE_PUBLIQUE_LISTE, its .sig beside it), from the
#     click to the filled result list: signed_1m_extra_ms, what the signature
#     costs, the best signed search less the best unsigned one (its fetch, the
#     SHA-512 of the list's bytes in memory, then the curve arithmetic).
# Each figure is the best of RUNS runs (3 by default; the memory, the largest),
# each search in a new process.
#   bench/search.sh        (BUILD_DIR: a build of its own under a temporary folder
#                           by default; RUNS=3; JOBS: build jobs, 2)
# Everything it writes goes under a temporary folder, never into the checkout.
# It runs beside an open window of the program: its runtime, cache and state
# folders (XDG_RUNTIME_DIR, XDG_CACHE_HOME, XDG_STATE_HOME) are its own, under
# that temporary folder, so neither the window's single-instance lock nor a
# service's lock stands in its way.
# Last line: search list_s=A folder_s=B selection_ms=C search_1m_s=D search_1m_mib=E selection_1m_ms=F
#            search_1m_marked_s=G search_1m_marked_mib=H signed_1m_extra_ms=I
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja curl nginx python3
travail_temporaire
build=${BUILD_DIR:-$travail/build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_recherche ramaglin ramaglin-signe >/dev/null
# After the build: a compiler cache keeps its files under XDG_CACHE_HOME.
dossiers_a_part "$travail"

donnees=$travail/www
mkdir -p "$donnees"
python3 - "$travail" <<'PY'
import os, sys
d = sys.argv[1]
os.makedirs(f"{d}/local", exist_ok=True)
with open(f"{d}/www/liste.txt", "w", encoding="utf-8", newline="") as f:
    for i in range(100000):
        f.write(f"fichier-{i:06d}.dat\tFichier numéro {i}\t{1000 + i}\tG\t1.{i % 50}\r\n")
# The same lines, ten times as many: written in blocks, it takes a second.
with open(f"{d}/www/million.txt", "w", encoding="utf-8", newline="") as f:
    for debut in range(0, 1000000, 10000):
        f.write("".join(f"fichier-{i:07d}.dat\tFichier numéro {i}\t{1000 + i}\tG\t1.{i % 50}\r\n"
                        for i in range(debut, debut + 10000)))
with open(f"{d}/www/marquee.txt", "w", encoding="utf-8", newline="") as f:
    f.write("xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=Mesure\r\n-FIN PARAMETRES-\r\n")
    with open(f"{d}/www/million.txt", encoding="utf-8", newline="") as m:
        f.write(m.read())
# Half of the listed files are already present, plus 50,000 others.
for i in range(0, 100000, 2):
    open(f"{d}/local/fichier-{i:06d}.dat", "w").close()
for i in range(50000):
    open(f"{d}/local/autre-{i:06d}.bin", "w").close()
PY
"$build/ramaglin-signe" cle "$travail/service.cle" >"$travail/publique"
publique=$(sed 's/^CLE_PUBLIQUE_LISTE=//' "$travail/publique")
cp "$donnees/million.txt" "$donnees/signee.txt"
"$build/ramaglin-signe" signe "$travail/service.cle" "$donnees/signee.txt" >/dev/null
demarre_nginx "$donnees" "$travail"
site=http://127.0.0.1:$port
# Both lists once through nginx before the clocks: the first search does not
# pay for reading them from the disk.
curl -sf -o /dev/null "$site/liste.txt"
curl -sf -o /dev/null "$site/million.txt"
curl -sf -o /dev/null "$site/signee.txt"
curl -sf -o /dev/null "$site/marquee.txt"

cle() { sed -E "s/.*$1=([0-9.-]+).*/\\1/" <<<"$2"; }
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN{print (a<b)?a:b}'; }
max() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN{print (a>b)?a:b}'; }
ls_= fs= ss= s1= m1= t1= sx= ms= mm=
for i in $(seq "${RUNS:-3}"); do
    echo "run $i:"
    "$build/bench_recherche" recherche "$travail/local" "$site/liste.txt" | tee "$travail/cent-mille"
    "$build/bench_recherche" million "$site/million.txt" | tee "$travail/million"
    cent=$(tail -n 1 "$travail/cent-mille") million=$(tail -n 1 "$travail/million")
    ls_=$(min "$(cle list_s "$cent")" "$ls_"); fs=$(min "$(cle folder_s "$cent")" "$fs")
    ss=$(min "$(cle selection_ms "$cent")" "$ss"); s1=$(min "$(cle search_1m_s "$million")" "$s1")
    m1=$(max "$(cle search_1m_mib "$million")" "$m1"); t1=$(min "$(cle selection_1m_ms "$million")" "$t1")
    "$build/bench_recherche" million-marquee "$site/marquee.txt" | tee "$travail/marquee"
    marquee=$(tail -n 1 "$travail/marquee")
    ms=$(min "$(cle search_1m_s "$marquee")" "$ms"); mm=$(max "$(cle search_1m_mib "$marquee")" "$mm")
    "$build/bench_recherche" million "$site/signee.txt" "$publique" | tee "$travail/signee"
    sx=$(min "$(cle search_1m_s "$(tail -n 1 "$travail/signee")")" "$sx")
done
# The best signed search against the best unsigned one.
sx=$(awk -v a="$sx" -v b="$s1" 'BEGIN{printf "%.1f", (a - b) * 1000}')

octets=$(stat -c %s "$donnees/million.txt")
awk -v o="$octets" -v s="$s1" -v m="$m1" -v t="$t1" 'BEGIN{
    borne = 2 * o / 1048576 + 50
    printf "1,000,000 lines (list of %.1f MiB), best of the runs (memory: the largest): search %ss (bar: 0.5), extra memory %s MiB (bar: %.1f MiB), selection summary %s ms (bar: 30)\n", o / 1048576, s, m, borne, t}'
awk -v o="$octets" -v s="$ms" -v m="$mm" 'BEGIN{
    printf "the same behind the marker and a block: search %ss (bar: 0.5), extra memory %s MiB (bar: %.1f MiB)\n", s, m, 2 * o / 1048576 + 50}'
echo "search list_s=$ls_ folder_s=$fs selection_ms=$ss search_1m_s=$s1 search_1m_mib=$m1 selection_1m_ms=$t1 search_1m_marked_s=$ms search_1m_marked_mib=$mm signed_1m_extra_ms=$sx"
