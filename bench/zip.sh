#!/usr/bin/env bash
# ZIP subsystem speed against its peers, in one run on a ~100 MB corpus (text,
# binaries, incompressible random):
#   - raw Deflate at levels 1, 6, 9: our Inflate vs zlib's inflate vs libdeflate;
#   - CRC-32: ours vs zlib's crc32 and libdeflate_crc32; traditional decryption;
#   - whole processes: ramaglin-zip vs unzip -o -q, 7-Zip (7zz x -y) and bsdtar -xf
#     on the corpus archive, a Deflate64 archive made by 7-Zip (bsdtar has no
#     Deflate64), a few thousand small files, and the corpus encrypted.
# Last line: zip inflate_vs_zlib= inflate_vs_libdeflate= (Inflate, whole
# entries into new memory, over the corpus) text= bin= (worst stream of each
# class, decoder against decoder: the streaming decoder that extraction uses,
# in its kept window, against libdeflate into a buffer already touched)
# stored_vs_zlib= (Inflate against zlib) new_memory_text= new_memory_bin=
# (Inflate against libdeflate, each into a buffer just allocated; noisy on a
# virtual machine) streamed_stored_vs_zlib=
# crc_vs_zlib= crc_vs_libdeflate=
# unpack_vs_unzip= unpack_vs_7z= unpack_vs_bsdtar= deflate64_unpack_vs_7z=
# deflate64_vs_deflate= small_files_vs_7z= small_files_vs_bsdtar= crypt_vs_7z=
# crypt_vs_bsdtar= (above 1: ours is faster).
#   bench/zip.sh      (BUILD_DIR: a build of its own under a temporary folder by
#                      default; TOURS=5)
# Everything it writes goes under a temporary folder, never into the checkout.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
. "$racine/bench/nginx.sh" # for exige
exige cmake ninja python3 zip unzip bsdtar
command -v 7zz >/dev/null || exige 7z
travail=$(mktemp -d)
trap 'rm -rf "$travail"' EXIT
build=${BUILD_DIR:-$travail/build}
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_zip ramaglin-zip >/dev/null

donnees=$travail/donnees
mkdir -p "$donnees"
{
    # Text: C headers and documentation of the system; binaries: programs and
    # libraries; random: what no compressor shrinks (stored blocks).
    # head closes the pipe once it has its bytes: the writers' SIGPIPE is expected.
    { find /usr/include /usr/share/doc -type f \( -name '*.h' -o -name 'copyright' -o -name '*.txt' \) \
        -size -2M -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null | head -c 45000000 > "$donnees/texte.dat"; } || true
    { find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size -8M -print0 2>/dev/null | sort -z |
        xargs -0 cat 2>/dev/null | head -c 40000000 > "$donnees/binaire.dat"; } || true
    python3 -c "
import random, sys
r = random.Random(2026)
sys.stdout.buffer.write(r.randbytes(15000000))" > "$donnees/aleatoire.dat"
}
# What the system happens to hold decides the corpus: too little of it would
# measure nothing worth a figure.
for f in texte.dat binaire.dat; do
    if [ "$(stat -c %s "$donnees/$f")" -lt 10000000 ]; then
        echo "zip.sh: less than 10 MB found for $f on this machine" >&2
        exit 1
    fi
done
if [ ! -f "$donnees/corpus.zip" ]; then
    (cd "$donnees" && zip -q -6 corpus.zip texte.dat binaire.dat aleatoire.dat)
fi

echo "== inflate (best of 5 interleaved rounds), decryption and CRC-32 =="
"$build/bench_zip" "$donnees" texte.dat binaire.dat aleatoire.dat > "$donnees/inflate.txt"
cat "$donnees/inflate.txt"
ratios=$(sed -n 's/^ratios //p' "$donnees/inflate.txt")

# Whole-process extraction against unzip, 7-Zip and bsdtar, alternating (each
# round in another order), each run into a new folder (deleting the last output before each run would add the
# same file-system work to every tool and hide the differences). Median of
# $TOURS runs; outputs are removed after the timed runs.
sept=$(command -v 7zz || command -v 7z)
if [ ! -f "$donnees/corpus64.zip" ]; then
    (cd "$donnees" && "$sept" a -bd -tzip -mm=Deflate64 -mx=5 corpus64.zip texte.dat binaire.dat aleatoire.dat >/dev/null)
fi
if [ ! -f "$donnees/corpus7.zip" ]; then
    (cd "$donnees" && "$sept" a -bd -tzip -mm=Deflate -mx=5 corpus7.zip texte.dat binaire.dat aleatoire.dat >/dev/null)
fi
if [ ! -f "$donnees/chiffre.zip" ]; then
    (cd "$donnees" && zip -q -6 -P secret chiffre.zip texte.dat binaire.dat aleatoire.dat)
fi
if [ ! -f "$donnees/petits.zip" ]; then
    # A few thousand small files in their folders: a copy of part of /usr/include.
    (cd / && find usr/include -type f -size -200k 2>/dev/null | sort > "$donnees/petits.liste")
    head -n 4000 "$donnees/petits.liste" | (cd / && zip -q -6 -@ "$donnees/petits.zip")
    rm -f "$donnees/petits.liste"
fi

TOURS=${TOURS:-5}
sortie=$donnees/sorties
mediane() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# compare NAME ARCHIVE PASSWORD TOOL...: prints "NAME tool=seconds ..." and sets
# the ratios r_<tool> (tool's median over ours).
compare() {
    local nom=$1 archive=$2 mdp=$3
    shift 3
    local outils=("$@") o i d s e
    rm -rf "$sortie"
    mkdir -p "$sortie"
    for o in "${outils[@]}"; do : > "$sortie/$o.temps"; done
    local n=${#outils[@]} k
    for i in $(seq "$TOURS"); do
        # Each round starts with another tool, and every run with no dirty
        # page left by the one before: the kernel writing the last output back
        # would slow whichever tool came next.
        for k in $(seq 0 $((n - 1))); do
            o=${outils[$(((i + k) % n))]}
            d=$sortie/$o-$i
            sync
            s=$(date +%s.%N)
            case $o in
            nous) "$build/ramaglin-zip" "$archive" "$d" ${mdp:+--password "$mdp"} >/dev/null ;;
            # Our Deflate on the same data, from the same compressor as the Deflate64 archive.
            nous_deflate) "$build/ramaglin-zip" "$donnees/corpus7.zip" "$d" >/dev/null ;;
            unzip) unzip -o -q ${mdp:+-P "$mdp"} "$archive" -d "$d" ;;
            7z) "$sept" x -bd -y ${mdp:+-p"$mdp"} -o"$d" "$archive" >/dev/null ;;
            bsdtar) mkdir -p "$d" && bsdtar ${mdp:+--passphrase "$mdp"} -xf "$archive" -C "$d" ;;
            esac
            e=$(date +%s.%N)
            echo "$e - $s" | bc >> "$sortie/$o.temps"
        done
    done
    # Same files as unzip's, or the figures mean nothing.
    diff -r "$sortie/nous-1" "$sortie/${outils[1]}-1" >/dev/null || { echo "$nom: outputs differ" >&2; exit 1; }
    local nous ligne="$nom"
    nous=$(mediane < "$sortie/nous.temps")
    for o in "${outils[@]}"; do
        local m
        m=$(mediane < "$sortie/$o.temps")
        ligne="$ligne $o=${m}s"
        printf -v "r_$o" '%s' "$(echo "scale=2; $m / $nous" | bc)"
    done
    echo "$ligne"
    rm -rf "$sortie"
}

echo "== whole process: extraction, median of $TOURS alternating runs, each into a new folder =="
echo "   corpus.zip $(du -m "$donnees/corpus.zip" | cut -f1) MB, $(du -cm "$donnees"/*.dat | tail -1 | cut -f1) MB unpacked; petits.zip $(unzip -Z1 "$donnees/petits.zip" | wc -l) files"
compare corpus "$donnees/corpus.zip" "" nous unzip 7z bsdtar
r4=$r_unzip; r_7z_corpus=$r_7z; r_bsdtar_corpus=$r_bsdtar
compare deflate64 "$donnees/corpus64.zip" "" nous nous_deflate unzip 7z
r_64_7z=$r_7z; r_64_deflate=$r_nous_deflate
compare petits "$donnees/petits.zip" "" nous unzip 7z bsdtar
r_petits_bsdtar=$r_bsdtar; r_petits_7z=$r_7z
compare chiffre "$donnees/chiffre.zip" secret nous unzip 7z bsdtar
r_chiffre_bsdtar=$r_bsdtar; r_chiffre_7z=$r_7z

echo "zip $ratios unpack_vs_unzip=$r4 unpack_vs_7z=$r_7z_corpus unpack_vs_bsdtar=$r_bsdtar_corpus deflate64_unpack_vs_7z=$r_64_7z deflate64_vs_deflate=$r_64_deflate small_files_vs_7z=$r_petits_7z small_files_vs_bsdtar=$r_petits_bsdtar crypt_vs_7z=$r_chiffre_7z crypt_vs_bsdtar=$r_chiffre_bsdtar"
