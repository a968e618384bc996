#!/usr/bin/env bash
# Files in flight and the rate cap, quickly, with an existing build's program
# run without windows against nginx on 127.0.0.1 (into a tmpfs):
#   - 200 files of 4 KiB: our time against `curl -K` fetching the same 200
#     addresses on its one connection: files_ratio_1 (one file at a time) and
#     files_ratio_4 (four in flight), curl's time / ours (bar: 1.0);
#   - one 20 MiB file with DEBIT_MAX=2048 (2 MiB/s, so about 10 s):
#     cap_error_pct = how far the run's rate is from the cap, in % of it
#     (bar: 10).
# Each figure is the best of RUNS runs (3 by default).
#   bench/en_vol.sh     (BUILD_DIR: the build whose `ramaglin` runs, build by
#                        default; RUNS=3)
# Last line: en_vol files_ratio_1=A files_ratio_4=B cap_error_pct=C
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige curl nginx python3
runs=${RUNS:-3}
programme=$(realpath "${BUILD_DIR:-build}")/ramaglin
[ -x "$programme" ] || { echo "$(basename "$0"): no program at $programme" >&2; exit 1; }
travail_temporaire
donnees=$travail/www
mkdir -p "$donnees/f"
python3 - "$donnees" "$travail" <<'PY'
import os, sys
racine, travail = sys.argv[1], sys.argv[2]
with open(os.path.join(racine, "liste.txt"), "w", newline="") as liste, \
        open(os.path.join(travail, "curl.cfg"), "w") as cfg:
    for i in range(200):
        nom = "f%03d.bin" % i
        liste.write("%s\tFichier %d\tG\r\n" % (nom, i))
        cfg.write('url = "/f/%s"\n' % nom)
        with open(os.path.join(racine, "f", nom), "wb") as f:
            f.write(os.urandom(4096))
with open(os.path.join(racine, "gros.txt"), "w", newline="") as liste:
    liste.write("gros.bin\tGros fichier\tG\r\n")
with open(os.path.join(racine, "gros.bin"), "wb") as f:
    f.write(os.urandom(20 * 1024 * 1024))
PY
demarre_nginx "$donnees" "$travail"
sortie=$travail/sortie
dossier_en_memoire "$sortie" >/dev/null
export QT_QPA_PLATFORM=offscreen

# Our run: the service file, then the clock around `--sans-fenetre` alone.
notre_temps() { # LISTE BASE VARIABLES...
    local liste=$1 base=$2; shift 2
    rm -rf "$sortie"/* "$sortie"/.[!.]* 2>/dev/null || true
    mkdir -p "$travail/tmp"
    {
        echo "REP_TMP=$travail/tmp/"
        echo "FICHIER_LISTE_NOM=http://127.0.0.1:$port/$liste"
        echo "AFFICHE_RESULTAT=O"
        echo "NUM_COLONNE_AFFICHEE=2"
        echo "NUM_COLONNE_TELECHARGEE=1"
        echo "CHEMIN_DESTINATION_FICHIER_SOURCE=$sortie"
        echo "ADRESSE_BASE_FICHIERS_SOURCES=http://127.0.0.1:$port/$base"
        # The rows found are those of the identifier G: all of them.
        echo "COMPARER_LISTE_A_IDENTIFIANT=O"
        echo "COL_COMPARAISON_IDENT=3"
        echo "IDENTIFIANT_A_COMPARER=G"
        for v in "$@"; do echo "$v"; done
    } | sed 's/$/\r/' >"$travail/service.txt" # its lines end in CR LF
    local debut fin
    debut=$(date +%s.%N)
    "$programme" --sans-fenetre "$travail/service.txt" >/dev/null 2>"$travail/erreurs" || true
    fin=$(date +%s.%N)
    python3 -c "print($fin - $debut)"
}
# curl's list names paths; its base is the server's address.
sed -i "s|url = \"/|url = \"http://127.0.0.1:$port/|" "$travail/curl.cfg"
curl_temps() {
    rm -rf "$sortie"/* 2>/dev/null || true
    local debut fin
    debut=$(date +%s.%N)
    (cd "$sortie" && curl -s --remote-name-all -K "$travail/curl.cfg" >/dev/null 2>&1 || true)
    fin=$(date +%s.%N)
    python3 -c "print($fin - $debut)"
}
meilleur() { sort -g | head -1; }

nous1=$(for _ in $(seq "$runs"); do notre_temps liste.txt f TRANSFERTS_SIMULTANES=1; done | meilleur)
nous4=$(for _ in $(seq "$runs"); do notre_temps liste.txt f TRANSFERTS_SIMULTANES=4; done | meilleur)
eux=$(for _ in $(seq "$runs"); do curl_temps; done | meilleur)
recus=$(find "$sortie" -name 'f*.bin' | wc -l)
[ "$recus" -eq 200 ] || echo "curl fetched $recus files of 200" >&2
notre_temps liste.txt f >/dev/null
recus=$(find "$sortie" -name 'f*.bin' | wc -l)
[ "$recus" -eq 200 ] || { echo "our run fetched $recus files of 200:" >&2; cat "$travail/erreurs" >&2; }

# The cap: the run's rate over the 20 MiB file (the search of a one-line list
# and the start-up are a few hundredths of a second of the 10 s).
ecart=$(for _ in $(seq "$runs"); do
    t=$(notre_temps gros.txt "" DEBIT_MAX=2048)
    python3 -c "r = 20 * 1024 / $t; print(abs(r - 2048) / 2048 * 100)"
done | meilleur)
[ "$(stat -c %s "$sortie/gros.bin" 2>/dev/null || echo 0)" -eq $((20 * 1024 * 1024)) ] || echo "the 20 MiB file did not arrive whole" >&2

python3 - "$nous1" "$nous4" "$eux" "$ecart" <<'PY'
import sys
n1, n4, c, e = map(float, sys.argv[1:])
print("200 files: ours %.3f s one at a time, %.3f s four in flight; curl -K %.3f s" % (n1, n4, c))
print("en_vol files_ratio_1=%.2f files_ratio_4=%.2f cap_error_pct=%.1f" % (c / n1, c / n4, e))
PY
