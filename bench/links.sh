#!/usr/bin/env bash
# Link extraction on a large page: generates a 10 MB page with 100,000 links
# (anchors, images, frames, a background, script redirections), 10,000
# comments and 1,000 script blocks, builds the extractor's tool in Release and
# times it. A grep scan of the same page's href/src attributes runs as a peer
# for scale.
# Seconds are CPU seconds (user + system) of the best of three runs: the
# machine is shared, so wall time would mostly measure waiting for a core; the
# wall time of the same run is printed too.
#   bench/links.sh         (BUILD_DIR: a build of its own under a temporary folder
#                           by default)
# Everything it writes goes under a temporary folder, never into the checkout.
# Last line: links seconds=S
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja python3 grep bc
[ -x /usr/bin/time ] || { echo "$(basename "$0"): missing on this machine: /usr/bin/time" >&2; exit 1; }
racine=$(pwd)
donnees=$(mktemp -d)
trap 'rm -rf "$donnees"' EXIT
build=${BUILD_DIR:-$donnees/build}
page=$donnees/links-10mb.html

python3 - "$page" <<'EOF'
import sys
TAILLE = 10 * 1024 * 1024
tete = "<html><head><title>Liste</title></head>\r\n<BODY BACKGROUND=\"fond.jpg\">\r\n"
pied = "</BODY></html>\r\n"
liens = 1  # the page background
k = 0
sections = []
# 1,000 sections, each: one script block (1 link), 10 comments, 99 tag links
# (98 in the last, for the background's).
for s in range(1000):
    parts = ['<Script Language="JAVASCRIPT">\r\n// section %d\r\n/* note */ if (x) { location.href = "s%d.htm"; }\r\n</Script>\r\n' % (s, s)]
    liens += 1
    for c in range(10):
        parts.append('<!-- commentaire %d <a href="cache%d.htm">non</a> -->\r\n' % (c, c))
    for a in range(99 if s < 999 else 98):
        k += 1
        if a % 11 == 0:
            parts.append('<IMG SRC="images/i%d.gif" WIDTH=10 ALT="image %d">\r\n' % (k, k))
        elif a % 23 == 0:
            parts.append("<FRAME SRC='cadre%d.htm' NAME=c%d>\r\n" % (k, k))
        else:
            parts.append('<A HREF="fichiers/f%06d.zip">Fichier %d &eacute;t&eacute;</A> %d Ko<BR>\r\n' % (k, k, k))
        liens += 1
    sections.append("".join(parts))
assert liens == 100000, liens
# Plain text without links fills each section so that the page is 10 MB.
manque = TAILLE - len(tete) - len(pied) - sum(len(x) for x in sections)
assert manque > 1000 * 9, manque
morceaux = []
for i, x in enumerate(sections):
    n = manque // 1000 + (1 if i < manque % 1000 else 0)
    morceaux.append(x + "<P>" + ("Texte sans lien. " * (n // 17 + 1))[: n - 9] + "</P>\r\n")
texte = tete + "".join(morceaux) + pied
assert len(texte) == TAILLE, len(texte)
open(sys.argv[1], "w", newline="").write(texte)
EOF

cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target ramaglin-liens >/dev/null

mesure() { # command... ; prints "cpu wall"
    /usr/bin/time -f "%U %S %e" -o "$donnees/time.txt" "$@"
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$donnees/time.txt"
}
plusPetit() { [ -z "$2" ] || [ "$(echo "$1 < $2" | bc -l)" = 1 ]; }

sortie=$donnees/links-out.tsv
meilleur="" mur=""
for _ in 1 2 3; do
    read -r cpu w < <(mesure sh -c '"$0" "$1" "http://serveur/rep/" > "$2"' \
        "$build/ramaglin-liens" "$page" "$sortie")
    if plusPetit "$cpu" "$meilleur"; then meilleur=$cpu mur=$w; fi
done
n=$(wc -l < "$sortie")
[ "$n" = 100000 ] || { echo "expected 100000 links, got $n" >&2; exit 1; }

pair=""
for _ in 1 2 3; do
    read -r cpu w < <(mesure sh -c \
        "grep -o -i -E '(href|src|background)=(\"[^\"]*\"|[^ >]*)' \"\$0\" | wc -l > /dev/null" "$page")
    if plusPetit "$cpu" "$pair"; then pair=$cpu; fi
done
printf 'page bytes=%s links=%s wall=%s\n' "$(stat -c %s "$page")" "$n" "$mur"
printf 'peer grep-attributes seconds=%s ratio=%.2f\n' "$pair" "$(echo "$meilleur / $pair" | bc -l)"
printf 'links seconds=%s\n' "$meilleur"
