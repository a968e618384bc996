#!/usr/bin/env bash
# The download run against curl, side by side in one run, files served by
# nginx on 127.0.0.1:
#   - 1,000 files of 4 KiB selected out of a list of 100,000 lines, through the
#     real click handler (offscreen), against `curl -K` fetching the same
#     1,000 addresses: files_ratio = curl's time / ours (bar: 0.5);
#   - one 1 GiB file through the loop against `curl -o`: big_ratio (bar: 0.9),
#     and the run's extra memory, rss_extra_mib (bar: 64);
#   - 20 rows, each a link page leading to a ZIP of about 5 MB (Deflate, 200
#     files, made by zip), downloaded and unpacked through the click handler,
#     against curl fetching the same pages and archives plus `unzip -o -q` of
#     each: linkzip_ratio (bar: 1.0).
#   bench/download.sh      (BUILD_DIR: a build of its own under a temporary folder
#                           by default; RUNS=3)
# Everything it writes goes under a temporary folder, never into the checkout.
# Last line: download files_ratio=A big_ratio=B rss_extra_mib=M linkzip_ratio=L
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja curl nginx python3 zip unzip truncate
runs=${RUNS:-3}
travail_temporaire
build=${BUILD_DIR:-$travail/build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON \
    -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_telechargement ramaglin >/dev/null
programme=$build/bench_telechargement

# The data: 1,000 files of 4 KiB, a list of 100,000 lines of which every
# 100th names one of them, and a sparse 1 GiB file.
donnees=$travail/www
mkdir -p "$donnees/f" "$travail/curl" "$travail/nous"
python3 - "$donnees" <<'PY'
import os, sys
racine = sys.argv[1]
with open(os.path.join(racine, "liste.txt"), "w", newline="") as liste:
    for i in range(100000):
        nom = "f%06d.bin" % i
        liste.write("%s\tFichier %d\tG\r\n" % (nom, i))
        if i % 100 == 99:
            with open(os.path.join(racine, "f", nom), "wb") as f:
                f.write(os.urandom(4096))
with open(os.path.join(racine, "gros.txt"), "w", newline="") as liste:
    liste.write("gros.bin\tGros fichier\tG\r\n")
PY
truncate -s 1073741824 "$donnees/gros.bin"
# 200 files of about 33 KB of text that compresses by a quarter, zipped 20 times.
mkdir -p "$travail/contenu/dossier" "$donnees/liens"
python3 - "$travail/contenu/dossier" <<'PY'
import base64, os, sys
for i in range(200):
    with open(os.path.join(sys.argv[1], "texte-%03d.txt" % i), "wb") as f:
        f.write(base64.encodebytes(os.urandom(24000)))
PY
(cd "$travail/contenu" && zip -q -r "$donnees/liens/archive-00.zip" dossier)
: >"$donnees/liens.txt"
for i in $(seq -w 0 19); do
    [ "$i" = 00 ] || cp "$donnees/liens/archive-00.zip" "$donnees/liens/archive-$i.zip"
    printf '<html><body><a href="liens/archive-%s.zip">Archive %s</a></body></html>\n' "$i" "$i" \
        >"$donnees/page-$i.html"
    printf 'page-%s.html\tPage %s\tG\r\n' "$i" "$i" >>"$donnees/liens.txt"
done

demarre_nginx "$donnees" "$travail"
site=http://127.0.0.1:$port

# curl's half: one invocation for the 1,000 files (it keeps its connection).
: >"$travail/curl.cfg"
for i in $(seq 99 100 99999); do
    nom=$(printf 'f%06d.bin' "$i")
    printf 'url = "%s/f/%s"\noutput = "%s/curl/%s"\n' "$site" "$nom" "$travail" "$nom" >>"$travail/curl.cfg"
done

temps() { # seconds taken by a command
    local debut fin
    debut=$(date +%s.%N)
    "$@" >/dev/null
    fin=$(date +%s.%N)
    awk -v a="$debut" -v b="$fin" 'BEGIN{printf "%.3f", b-a}'
}
curl_fichiers() { rm -rf "$travail/curl"; mkdir "$travail/curl"; sync; curl -s -K "$travail/curl.cfg"; }
nous_fichiers() {
    rm -rf "$travail/nous"; mkdir "$travail/nous"; sync
    ligne=$("$programme" "$site/liste.txt" "$site/f/" "$travail/nous" 100)
    [ "$(ls "$travail/nous" | wc -l)" = 1000 ] || { echo "bench_telechargement: $ligne" >&2; exit 1; }
    echo "$ligne" >"$travail/ligne"
}
curl_gros() { rm -f "$travail/gros.bin"; sync; curl -s -o "$travail/gros.bin" "$site/gros.bin"; }
nous_gros() {
    rm -rf "$travail/nous"; mkdir "$travail/nous"; sync
    ligne=$("$programme" "$site/gros.txt" "$site/" "$travail/nous" 1)
    [ "$(stat -c %s "$travail/nous/gros.bin")" = 1073741824 ] || { echo "bench_telechargement: $ligne" >&2; exit 1; }
    echo "$ligne" >"$travail/ligne"
}
: >"$travail/liens.cfg"
for i in $(seq -w 0 19); do
    printf 'url = "%s/page-%s.html"\noutput = "%s/curl/page-%s.html"\n' "$site" "$i" "$travail" "$i" >>"$travail/liens.cfg"
    printf 'url = "%s/liens/archive-%s.zip"\noutput = "%s/curl/archive-%s.zip"\n' "$site" "$i" "$travail" "$i" >>"$travail/liens.cfg"
done
curl_liens() {
    rm -rf "$travail/curl"; mkdir "$travail/curl"; sync
    curl -s -K "$travail/liens.cfg"
    for z in "$travail"/curl/archive-*.zip; do unzip -o -q "$z" -d "$travail/curl"; rm -f "$z"; done
}
nous_liens() {
    rm -rf "$travail/nous"; mkdir "$travail/nous"; sync
    ligne=$("$programme" "$site/liens.txt" "$site/" "$travail/nous" 1 liens)
    [ "$(ls "$travail/nous/dossier" | wc -l)" = 200 ] && [ -z "$(ls "$travail/nous" | grep -v '^dossier$')" ] ||
        { echo "bench_telechargement (liens): $ligne" >&2; exit 1; }
    echo "$ligne" >"$travail/ligne"
}
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN{print (a<b)?a:b}'; }

cf= nf= cg= ng= cl= nl= rss=0
for i in $(seq "$runs"); do
    if [ $((i % 2)) = 1 ]; then
        c=$(temps curl_fichiers); nous_fichiers; n=$(sed -E 's/^seconds=([0-9.]+).*/\1/' "$travail/ligne")
    else
        nous_fichiers; n=$(sed -E 's/^seconds=([0-9.]+).*/\1/' "$travail/ligne"); c=$(temps curl_fichiers)
    fi
    u=$(sed -E 's/.*ui_cpu_s=([0-9.]+).*/\1/' "$travail/ligne")
    echo "run $i, 1,000 files: curl ${c}s, ours ${n}s (user-interface thread busy ${u}s)"
    cf=$(min "$c" "$cf"); nf=$(min "$n" "$nf")
    if [ $((i % 2)) = 1 ]; then
        c=$(temps curl_gros); nous_gros
    else
        nous_gros; c=$(temps curl_gros)
    fi
    n=$(sed -E 's/^seconds=([0-9.]+).*/\1/' "$travail/ligne")
    m=$(sed -E 's/.*rss_extra_mib=([0-9.-]+).*/\1/' "$travail/ligne")
    echo "run $i, 1 GiB: curl ${c}s, ours ${n}s, extra memory ${m} MiB"
    cg=$(min "$c" "$cg"); ng=$(min "$n" "$ng")
    rss=$(awk -v a="$m" -v b="$rss" 'BEGIN{print (a>b)?a:b}')
    if [ $((i % 2)) = 1 ]; then
        c=$(temps curl_liens); nous_liens
    else
        nous_liens; c=$(temps curl_liens)
    fi
    n=$(sed -E 's/^seconds=([0-9.]+).*/\1/' "$travail/ligne")
    echo "run $i, 20 link pages and archives: curl + unzip ${c}s, ours ${n}s"
    cl=$(min "$c" "$cl"); nl=$(min "$n" "$nl")
done
echo "download files_ratio=$(awk -v c="$cf" -v n="$nf" 'BEGIN{printf "%.2f", c/n}') big_ratio=$(awk -v c="$cg" -v n="$ng" 'BEGIN{printf "%.2f", c/n}') rss_extra_mib=$rss linkzip_ratio=$(awk -v c="$cl" -v n="$nl" 'BEGIN{printf "%.2f", c/n}')"
