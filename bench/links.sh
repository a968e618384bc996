#!/usr/bin/env bash
# Link extraction on large pages, with the extractor's tool built in Release:
#   - speed: a 10 MB page with 100,000 links (anchors, images, frames, a
#     background, script redirections), 10,000 comments and 1,000 script
#     blocks; a grep scan of the same page's href/src attributes runs as a peer
#     for scale. Seconds are CPU seconds (user + system) of the best of three
#     runs: the machine is shared, so wall time would mostly measure waiting for
#     a core; the wall time of the same run is printed too.
#   - memory: a 150 MiB page with the same links, comments and scripts, filled
#     with table rows holding comments, read as the run reads a link page
#     (links_peak_mib) and held and read as the search's link mode does
#     (links_list_peak_mib): the peak resident memory of the whole process,
#     against the bar of twice the page's size plus 50 MiB (links_bar_mib).
#   bench/links.sh         (BUILD_DIR: a build of its own under a temporary folder
#                           by default)
# Everything it writes goes under a temporary folder, never into the checkout.
# Last line: links seconds=S links_page_mib=P links_peak_mib=M links_list_peak_mib=L links_bar_mib=B
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
grande=$donnees/links-150mib.html

python3 - "$page" "$grande" <<'EOF'
import sys

def page(chemin, taille, remplissage):
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
    # Text without links fills each section so that the page has its size.
    manque = taille - len(tete) - len(pied) - sum(len(x) for x in sections)
    assert manque > 1000 * 9, manque
    with open(chemin, "w", newline="") as f:
        f.write(tete)
        for i, x in enumerate(sections):
            n = manque // 1000 + (1 if i < manque % 1000 else 0)
            f.write(x + "<P>" + (remplissage * (n // len(remplissage) + 1))[: n - 9] + "</P>\r\n")
        f.write(pied)

page(sys.argv[1], 10 * 1024 * 1024, "Texte sans lien. ")
# Many tags that are not links, and many comments, as a long generated index has.
page(sys.argv[2], 150 * 1024 * 1024, "<TR><TD>Texte sans lien</TD><TD><!-- vide --></TD></TR>\r\n")
EOF
[ "$(stat -c %s "$page")" = $((10 * 1024 * 1024)) ] || { echo "page of the wrong size" >&2; exit 1; }
[ "$(stat -c %s "$grande")" = $((150 * 1024 * 1024)) ] || { echo "large page of the wrong size" >&2; exit 1; }

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

# Memory: one run each, the peak resident memory of the whole process.
pic() { # command... ; prints the peak in MiB
    /usr/bin/time -f "%M" -o "$donnees/time.txt" "$@"
    awk '{ printf "%.1f\n", $1 / 1024 }' "$donnees/time.txt"
}
grandeSortie=$donnees/links-150mib.tsv
picLiens=$(pic sh -c '"$0" "$1" "http://serveur/rep/" > "$2"' "$build/ramaglin-liens" "$grande" "$grandeSortie")
n150=$(wc -l < "$grandeSortie")
picListe=$(pic sh -c '"$0" --liste "$1" "http://serveur/rep/" > "$2"' "$build/ramaglin-liens" "$grande" "$grandeSortie")
nListe=$(wc -l < "$grandeSortie")
{ [ "$n150" = 100000 ] && [ "$nListe" = 100000 ]; } ||
    { echo "large page: expected 100000 links and rows, got $n150 and $nListe" >&2; exit 1; }
taille=$(awk -v o="$(stat -c %s "$grande")" 'BEGIN{ printf "%.1f", o / 1048576 }')
borne=$(awk -v t="$taille" 'BEGIN{ printf "%.1f", 2 * t + 50 }')

printf 'page bytes=%s links=%s wall=%s\n' "$(stat -c %s "$page")" "$n" "$mur"
printf 'peer grep-attributes seconds=%s ratio=%.2f\n' "$pair" "$(echo "$meilleur / $pair" | bc -l)"
printf 'large page %s MiB, %s links: peak %s MiB read as a link page, %s MiB in the link mode (bar: %s MiB)\n' \
    "$taille" "$n150" "$picLiens" "$picListe" "$borne"
printf 'links seconds=%s links_page_mib=%s links_peak_mib=%s links_list_peak_mib=%s links_bar_mib=%s\n' \
    "$meilleur" "$taille" "$picLiens" "$picListe" "$borne"
