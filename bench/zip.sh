#!/usr/bin/env bash
# ZIP subsystem speed against its peers, in one run on a ~100 MB corpus (text,
# binaries, incompressible random):
#   - raw Deflate at levels 1, 6, 9: our Inflate vs zlib's inflate vs libdeflate;
#   - CRC-32: ours vs zlib's crc32;
#   - a whole process extracting a ~100 MB archive: ramaglin-zip vs unzip -o -q.
# Last line: zip inflate_vs_zlib=R1 inflate_vs_libdeflate=R2 crc_vs_zlib=R3 unpack_vs_unzip=R4
# (above 1: ours is faster). Generated data stays under bench/data/zip (ignored).
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
build=$racine/build-bench-zip
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_zip ramaglin-zip >/dev/null

donnees=$racine/bench/data/zip
mkdir -p "$donnees"
if [ ! -f "$donnees/texte.dat" ] || [ ! -f "$donnees/binaire.dat" ] || [ ! -f "$donnees/aleatoire.dat" ]; then
    rm -f "$donnees"/*.deflate "$donnees/corpus.zip"
    # Text: C headers and documentation of the system; binaries: programs and
    # libraries; random: what no compressor shrinks (stored blocks).
    find /usr/include /usr/share/doc -type f \( -name '*.h' -o -name 'copyright' -o -name '*.txt' \) \
        -size -2M -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null | head -c 45000000 > "$donnees/texte.dat"
    find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size -8M -print0 2>/dev/null | sort -z |
        xargs -0 cat 2>/dev/null | head -c 40000000 > "$donnees/binaire.dat"
    python3 -c "
import random, sys
r = random.Random(2026)
sys.stdout.buffer.write(r.randbytes(15000000))" > "$donnees/aleatoire.dat"
fi
if [ ! -f "$donnees/corpus.zip" ]; then
    (cd "$donnees" && zip -q -6 corpus.zip texte.dat binaire.dat aleatoire.dat)
fi

echo "== inflate and CRC-32 (best of 3 interleaved rounds) =="
"$build/bench_zip" "$donnees" texte.dat binaire.dat aleatoire.dat > "$donnees/inflate.txt"
cat "$donnees/inflate.txt"
ratios=$(sed -n 's/^ratios //p' "$donnees/inflate.txt")

echo "== whole process: extracting $(du -m "$donnees/corpus.zip" | cut -f1) MB archive ($(du -cm "$donnees"/*.dat | tail -1 | cut -f1) MB unpacked) =="
nous="$build/ramaglin-zip $donnees/corpus.zip $donnees/sortie-nous"
eux="unzip -o -q $donnees/corpus.zip -d $donnees/sortie-unzip"
if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 1 --runs 7 --export-json "$donnees/unpack.json" \
        --prepare "rm -rf $donnees/sortie-nous $donnees/sortie-unzip" "$nous" "$eux"
    r4=$(python3 -c "
import json, statistics
r = json.load(open('$donnees/unpack.json'))['results']
print(f'{statistics.median(r[1][\"times\"]) / statistics.median(r[0][\"times\"]):.2f}')")
else
    mediane() { # command -> median seconds of 7 runs
        for _ in 1 2 3 4 5 6 7; do
            rm -rf "$donnees/sortie-nous" "$donnees/sortie-unzip"
            s=$(date +%s.%N); $1 >/dev/null; e=$(date +%s.%N)
            echo "$e - $s" | bc
        done | sort -n | sed -n 4p
    }
    r4=$(echo "scale=2; $(mediane "$eux") / $(mediane "$nous")" | bc)
fi
# Same bytes as the corpus, or the figures mean nothing.
rm -rf "$donnees/sortie-nous"
$nous >/dev/null
for f in texte.dat binaire.dat aleatoire.dat; do cmp "$donnees/sortie-nous/$f" "$donnees/$f"; done
rm -rf "$donnees/sortie-nous" "$donnees/sortie-unzip"

echo "zip $ratios unpack_vs_unzip=$r4"
