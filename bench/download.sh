#!/usr/bin/env bash
# The download run against curl, side by side in one run, files served by
# nginx on 127.0.0.1. Each clock covers its own tool only: the output folder is
# emptied and the disk synced before the clock starts, on both sides, and both
# outputs are checked the same way afterwards (number of files and bytes); each
# tool's exit status must be 0. One untimed fetch of the small files on each
# side comes before the timed runs.
#   - 1,000 files of 4 KiB selected out of a list of 100,000 lines (one row in
#     100), through the real click handler (offscreen), against `curl -K`
#     fetching the same 1,000 addresses, both into a tmpfs: files_ratio = curl's
#     time / ours (bar: 1.0); files_ratio_head, the same against curl asking
#     a HEAD before each GET on its one connection (what a run that probes
#     each file with a request of its own costs); the same into a folder on
#     the disk:
#     files_ratio_disk (many small files on ext4 are dominated by its inode
#     allocation, which after any deletion stays slow for minutes, so the tmpfs
#     figure is the one that tells about the program);
#   - 10,000 files out of the same list (one row in 10), into the tmpfs:
#     files_scale = our time for 10,000 files / our time for 1,000 (bar: 10.5,
#     that is, linear), and curl's time for them, as milliseconds per file;
#   - one 1 GiB file through the loop against `curl -o`: big_ratio (bar: 0.9),
#     and the run's extra memory, rss_extra_mib (bar: 64);
#   - the same 1 GiB file with its SHA-256 in the list (COLONNE_EMPREINTE), the
#     digest computed as the data arrives, against `curl -o`: big_digest_ratio
#     (bar: 0.9);
#   - a 100 MiB file served by a small server of this script that cuts the
#     first transfer at 90 % and honours Range/If-Range: resume_ratio = body
#     bytes the server sent to get the whole file / its size (bar: 1.05);
#   - a 20 MiB file fetched by ours with the cap DEBIT_MAX=4096 (KiB/s):
#     cap_error_pct = |its rate over the run - the cap| / the cap, in % (bar:
#     10; a version of the program without the cap ignores the variable, and
#     the figure is then in the thousands);
#   - 20 rows, each a link page leading to a ZIP of about 5 MB (Deflate, 200
#     files, made by zip), downloaded and unpacked through the click handler,
#     against curl fetching the same pages and archives plus `unzip -o -q` of
#     each: linkzip_ratio (bar: 1.0).
# Each ratio is the median of RUNS pair ratios (3 runs by default): in each run
# the two sides run back to back, taking turns to go first, and the ratio is
# taken within the pair (files_scale: ours for 10,000 files / ours for 1,000 in
# the same run). The times printed as "best of" are the best of the runs. With
# 3 runs the whole takes two or three minutes.
#   bench/download.sh      (BUILD_DIR: a build of its own under a temporary folder
#                           by default; RUNS=3; JOBS: build jobs, 2)
# Everything it writes goes under a temporary folder (and a tmpfs mounted in
# it), never into the checkout.
# Last line: download files_ratio=A files_ratio_head=H files_ratio_disk=D files_scale=S big_ratio=B rss_extra_mib=M linkzip_ratio=L big_digest_ratio=G resume_ratio=R cap_error_pct=C
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja curl nginx python3 zip unzip truncate
runs=${RUNS:-3}
travail_temporaire
build=${BUILD_DIR:-$travail/build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON \
    -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_telechargement ramaglin >/dev/null
programme=$build/bench_telechargement

# The data: a list of 100,000 lines of which every 10th names one of 10,000
# files of 4 KiB (every 100th: 1,000 of them), and a sparse 1 GiB file.
donnees=$travail/www
mkdir -p "$donnees/f"
python3 - "$donnees" <<'PY'
import os, sys
racine = sys.argv[1]
with open(os.path.join(racine, "liste.txt"), "w", newline="") as liste:
    for i in range(100000):
        nom = "f%06d.bin" % i
        liste.write("%s\tFichier %d\tG\r\n" % (nom, i))
        if i % 10 == 9:
            with open(os.path.join(racine, "f", nom), "wb") as f:
                f.write(os.urandom(4096))
# curl's lists: the same addresses as the rows selected one in 100 and one in 10;
# and the 1,000 with a HEAD before each GET, as our run asks them (one
# connection throughout: curl keeps it from one `next` to the other).
for pas in (100, 10):
    with open(os.path.join(racine, "..", "curl-%d.cfg" % pas), "w") as cfg:
        for i in range(pas - 1, 100000, pas):
            cfg.write('url = "/f/f%06d.bin"\n' % i)
# `next` separates two entries and must not end the file: after the last
# entry it would leave curl an entry with no address (exit status 2).
with open(os.path.join(racine, "..", "curl-tete.cfg"), "w") as cfg:
    cfg.write("next\n".join('url = "/f/f%06d.bin"\nhead\noutput = "/dev/null"\nnext\n'
                            'url = "/f/f%06d.bin"\nremote-name\n' % (i, i)
                            for i in range(99, 100000, 100)))
with open(os.path.join(racine, "gros.txt"), "w", newline="") as liste:
    liste.write("gros.bin\tGros fichier\tG\r\n")
PY
truncate -s 1073741824 "$donnees/gros.bin"
printf 'gros.bin\tGros fichier\tG\t%s\r\n' "$(head -c 1073741824 /dev/zero | sha256sum | cut -d' ' -f1)" \
    >"$donnees/gros-empreinte.txt"
printf 'cent.bin\tCent Mio\tG\r\n' >"$donnees/cent.txt"
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
sed -i "s|^url = \"|url = \"$site|" "$travail"/curl-*.cfg
memoire=$travail/memoire
dossier_en_memoire "$memoire"
disque=$travail/disque
mkdir -p "$disque"

# The small files fetched into a folder: exactly N files of 4 KiB.
verifie() { # DOSSIER N QUI
    local n o
    n=$(find "$1" -type f | wc -l)
    o=$(find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
    [ "$n" = "$2" ] && [ "$o" = $(($2 * 4096)) ] ||
        { echo "download.sh: $3 left $n files, $o bytes in $1 (expected $2 files of 4096 bytes)" >&2; exit 1; }
}
ligne_nous() { # LISTE DESTINATION PAS [liens]: our run, its line kept in $travail/ligne
    local ligne
    ligne=$("$programme" "$@") || { echo "bench_telechargement $*: $ligne" >&2; exit 1; }
    echo "$ligne" >"$travail/ligne"
}
cle() { sed -E "s/.*$1=([0-9.-]+).*/\\1/" "$travail/ligne"; }

# Small files, N of them, into DOSSIER; the time is left in $t.
curl_fichiers() { # DOSSIER N
    vide "$1"
    chronometre curl curl -sS -f --remote-name-all --output-dir "$1" -K "$travail/curl-$((100000 / $2)).cfg"
    verifie "$1" "$2" curl
}
curl_tete_fichiers() { # DOSSIER: the 1,000 files, each after its HEAD
    vide "$1"
    cd "$1" # each `remote-name` writes into the current folder
    chronometre "curl (HEAD and GET)" curl -sS -f -K "$travail/curl-tete.cfg"
    cd "$OLDPWD"
    verifie "$1" 1000 "curl (HEAD and GET)"
}
nous_fichiers() { # DOSSIER N
    vide "$1"
    ligne_nous "$site/liste.txt" "$site/f/" "$1" $((100000 / $2))
    verifie "$1" "$2" "bench_telechargement"
    t=$(cle seconds) u=$(cle ui_cpu_s)
}
curl_gros() {
    vide "$disque/curl"
    chronometre curl curl -sS -f -o "$disque/curl/gros.bin" "$site/gros.bin"
    [ "$(stat -c %s "$disque/curl/gros.bin")" = 1073741824 ] || { echo "download.sh: curl's 1 GiB file is short" >&2; exit 1; }
}
nous_gros() {
    vide "$disque/nous"
    ligne_nous "$site/gros.txt" "$site/" "$disque/nous" 1
    [ "$(stat -c %s "$disque/nous/gros.bin")" = 1073741824 ] || { echo "download.sh: our 1 GiB file is short" >&2; exit 1; }
    t=$(cle seconds) m=$(cle rss_extra_mib)
}
nous_gros_empreinte() {
    vide "$disque/nous"
    ligne_nous "$site/gros-empreinte.txt" "$site/" "$disque/nous" 1 empreinte
    [ "$(stat -c %s "$disque/nous/gros.bin")" = 1073741824 ] ||
        { echo "download.sh: our 1 GiB file with its digest did not arrive" >&2; exit 1; }
    t=$(cle seconds) m=$(cle rss_extra_mib)
}
: >"$travail/liens.cfg"
for i in $(seq -w 0 19); do
    printf 'url = "%s/page-%s.html"\nurl = "%s/liens/archive-%s.zip"\n' "$site" "$i" "$site" "$i" >>"$travail/liens.cfg"
done
curl_unzip() { # under the clock's `||`, where set -e does not hold: each status is checked here
    curl -sS -f --remote-name-all --output-dir "$disque/curl" -K "$travail/liens.cfg" || return
    for z in "$disque"/curl/archive-*.zip; do unzip -o -q "$z" -d "$disque/curl" || return; rm -f "$z"; done
}
# Both leave the 200 files of the archive in dossier/; curl also the pages.
verifie_liens() { # DOSSIER QUI
    local n o
    n=$(find "$1/dossier" -type f | wc -l)
    o=$(find "$1/dossier" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
    [ "$n" = 200 ] && [ "$o" = "$(cat "$travail/octets-liens")" ] ||
        { echo "download.sh: $2 unpacked $n files, $o bytes" >&2; exit 1; }
}
find "$travail/contenu/dossier" -type f -printf '%s\n' | awk '{s += $1} END {print s}' >"$travail/octets-liens"
curl_liens() {
    vide "$disque/curl"
    chronometre "curl + unzip" curl_unzip
    verifie_liens "$disque/curl" "curl + unzip"
}
nous_liens() {
    vide "$disque/nous"
    ligne_nous "$site/liens.txt" "$site/" "$disque/nous" 1 liens
    verifie_liens "$disque/nous" bench_telechargement
    [ -z "$(ls "$disque/nous" | grep -v '^dossier$')" ] || { echo "download.sh: our link run left more than the archive's folder" >&2; exit 1; }
    t=$(cle seconds)
}
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN{print (a<b)?a:b}'; }
ms() { awk -v t="$1" -v n="$2" 'BEGIN{printf "%.3f", t * 1000 / n}'; } # per file
# Both sides of one case, the side going first taking turns with the run.
paire() { # RUN CURL_FUNCTION OUR_FUNCTION ARGUMENTS...: sets $c and $n
    local i=$1 fc=$2 fn=$3
    shift 3
    if [ $((i % 2)) = 1 ]; then
        "$fc" "$@"; c=$t; "$fn" "$@"; n=$t
    else
        "$fn" "$@"; n=$t; "$fc" "$@"; c=$t
    fi
}

# The warm-up, untimed: nginx, the page cache, the tmpfs and both programs.
curl_fichiers "$memoire/f" 1000
nous_fichiers "$memoire/f" 1000

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }
# Each ratio is taken within one run, from the two sides run back to back
# (ours against ours for files_scale: 10,000 files and 1,000 of the same run),
# and the figure is the median of the runs' ratios: a ratio of two bests would
# divide times from different runs, each with its own share of the machine.
declare -A ratios
ajoute() { ratios[$1]+="$(awk -v a="$2" -v b="$3" 'BEGIN{printf "%.4f", a/b}') "; } # CLE A B: A/B of this run
mediane() { # CLE
    tr ' ' '\n' <<<"${ratios[$1]}" | grep . | sort -g |
        awk '{a[NR] = $1} END {printf "%.2f", (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}
c1= n1= c10= n10= cd= nd= rss=0
for i in $(seq "$runs"); do
    paire "$i" curl_fichiers nous_fichiers "$memoire/f" 1000
    echo "run $i, 1,000 files, tmpfs: curl ${c}s ($(ms "$c" 1000) ms/file), ours ${n}s ($(ms "$n" 1000) ms/file; user-interface thread busy ${u}s), ratio $(ratio "$c" "$n")"
    c1=$(min "$c" "$c1"); n1=$(min "$n" "$n1"); ajoute files "$c" "$n"; mille=$n
    paire "$i" curl_tete_fichiers nous_fichiers "$memoire/f" 1000
    echo "run $i, 1,000 files, tmpfs, HEAD and GET on both sides: curl ${c}s ($(ms "$c" 1000) ms/file), ours ${n}s, ratio $(ratio "$c" "$n")"
    ajoute head "$c" "$n"
    paire "$i" curl_fichiers nous_fichiers "$memoire/f" 10000
    echo "run $i, 10,000 files, tmpfs: curl ${c}s ($(ms "$c" 10000) ms/file), ours ${n}s ($(ms "$n" 10000) ms/file; user-interface thread busy ${u}s), ours 10,000 / 1,000 $(ratio "$n" "$mille")"
    c10=$(min "$c" "$c10"); n10=$(min "$n" "$n10"); ajoute scale "$n" "$mille"
    paire "$i" curl_fichiers nous_fichiers "$disque/f" 1000
    echo "run $i, 1,000 files, disk: curl ${c}s ($(ms "$c" 1000) ms/file), ours ${n}s ($(ms "$n" 1000) ms/file), ratio $(ratio "$c" "$n")"
    cd=$(min "$c" "$cd"); nd=$(min "$n" "$nd"); ajoute disk "$c" "$n"
    paire "$i" curl_gros nous_gros
    echo "run $i, 1 GiB: curl ${c}s, ours ${n}s, extra memory ${m} MiB, ratio $(ratio "$c" "$n")"
    ajoute big "$c" "$n"
    rss=$(awk -v a="$m" -v b="$rss" 'BEGIN{print (a>b)?a:b}')
    paire "$i" curl_gros nous_gros_empreinte
    echo "run $i, 1 GiB with its SHA-256 checked: curl ${c}s, ours ${n}s, extra memory ${m} MiB, ratio $(ratio "$c" "$n")"
    ajoute digest "$c" "$n"
    rss=$(awk -v a="$m" -v b="$rss" 'BEGIN{print (a>b)?a:b}')
    paire "$i" curl_liens nous_liens
    echo "run $i, 20 link pages and archives: curl + unzip ${c}s, ours ${n}s, ratio $(ratio "$c" "$n")"
    ajoute linkzip "$c" "$n"
done

# The resume: a 100 MiB file whose first transfer is cut at 90 %; the run tries
# again (2 s later) and asks only for the rest. The server counts what it sent.
head -c $((100 * 1024 * 1024)) /dev/urandom >"$travail/cent.bin"
python3 - "$travail/cent.bin" "$travail/cent.port" "$travail/cent.octets" <<'PY' &
import http.server, os, socketserver, sys
chemin, fichier_port, fichier_octets = sys.argv[1:4]
taille = os.path.getsize(chemin)
etat = {"gets": 0, "octets": 0}
class Gestion(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *a): pass
    def tete(self, statut, longueur, plage=None):
        self.send_response(statut)
        self.send_header("ETag", '"cent"')
        self.send_header("Content-Length", str(longueur))
        if plage: self.send_header("Content-Range", plage)
        self.end_headers()
    def do_HEAD(self): self.tete(200, taille)
    def do_GET(self):
        etat["gets"] += 1
        depuis, plage = 0, None
        r = self.headers.get("Range", "")
        if r.startswith("bytes=") and r.endswith("-") and self.headers.get("If-Range", '"cent"') == '"cent"':
            depuis = int(r[6:-1])
            plage = "bytes %d-%d/%d" % (depuis, taille - 1, taille)
        self.tete(206 if plage else 200, taille - depuis, plage)
        fin = taille if etat["gets"] > 1 else taille * 9 // 10
        with open(chemin, "rb") as f:
            f.seek(depuis)
            reste = fin - depuis
            while reste > 0:
                bloc = f.read(min(reste, 1 << 20))
                self.wfile.write(bloc); reste -= len(bloc); etat["octets"] += len(bloc)
        self.wfile.flush()
        with open(fichier_octets, "w") as f: f.write(str(etat["octets"]))
        if fin < taille: self.close_connection = True
class Serveur(socketserver.ThreadingMixIn, http.server.HTTPServer): daemon_threads = True
s = Serveur(("127.0.0.1", 0), Gestion)
open(fichier_port, "w").write(str(s.server_address[1]))
s.serve_forever()
PY
serveur_reprise=$!
trap 'kill $serveur_reprise 2>/dev/null || true; nettoie_travail' EXIT
for _ in $(seq 100); do [ -s "$travail/cent.port" ] && break; sleep 0.1; done
vide "$disque/nous"
ligne_nous "$site/cent.txt" "http://127.0.0.1:$(cat "$travail/cent.port")/" "$disque/nous" 1
cmp -s "$travail/cent.bin" "$disque/nous/cent.bin" || { echo "download.sh: the resumed file differs" >&2; exit 1; }
reprise=$(awk -v o="$(cat "$travail/cent.octets")" 'BEGIN{printf "%.3f", o / (100 * 1024 * 1024)}')
kill $serveur_reprise 2>/dev/null || true
echo "resume: the server sent $(cat "$travail/cent.octets") bytes for a file of $((100 * 1024 * 1024))"

# The bandwidth cap: a 20 MiB file fetched by the run with DEBIT_MAX (KiB/s, a
# cap on the whole run), its rate over the run compared to the cap. A version
# of the program without the cap ignores the variable and takes the file at
# loopback speed: the error is then in the thousands of %, printed all the same.
plafond=4096
head -c $((20 * 1024 * 1024)) /dev/urandom >"$donnees/vingt.bin"
printf 'vingt.bin\tVingt Mio\tG\r\n' >"$donnees/vingt.txt"
vide "$memoire/plafond"
ligne_nous "$site/vingt.txt" "$site/" "$memoire/plafond" 1 "DEBIT_MAX=$plafond"
cmp -s "$donnees/vingt.bin" "$memoire/plafond/vingt.bin" || { echo "download.sh: the capped file differs" >&2; exit 1; }
debit=$(awk -v t="$(cle seconds)" 'BEGIN{printf "%.0f", 20480 / t}')
ecart_plafond=$(awk -v d="$debit" -v p="$plafond" 'BEGIN{e = (d - p) / p * 100; printf "%.1f", (e < 0) ? -e : e}')
echo "cap: 20 MiB with DEBIT_MAX=$plafond in $(cle seconds)s, that is $debit KiB/s"
echo "best of $runs: 1,000 files, tmpfs: curl $(ms "$c1" 1000) ms/file, ours $(ms "$n1" 1000) ms/file;" \
     "10,000 files, tmpfs: curl $(ms "$c10" 10000) ms/file, ours $(ms "$n10" 10000) ms/file;" \
     "1,000 files, disk: curl $(ms "$cd" 1000) ms/file, ours $(ms "$nd" 1000) ms/file"
echo "download files_ratio=$(mediane files) files_ratio_head=$(mediane head) files_ratio_disk=$(mediane disk)" \
    "files_scale=$(mediane scale) big_ratio=$(mediane big) rss_extra_mib=$rss linkzip_ratio=$(mediane linkzip)" \
    "big_digest_ratio=$(mediane digest) resume_ratio=$reprise cap_error_pct=$ecart_plafond"
