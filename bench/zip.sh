#!/usr/bin/env bash
# ZIP subsystem speed against its peers, side by side in one run.
#
# Decoders (bench_zip, on a ~100 MB corpus of text, binaries and random bytes,
# each file as a raw Deflate stream at levels 1, 6 and 9), against libdeflate
# (text, binaries) and zlib (random bytes: stored blocks), each decoding into
# a buffer of its own, touched beforehand, and kept; each decoder's output is
# checked after its clock. Ours on both its paths: in memory, into a buffer
# of the caller's (libdeflate's contract, the same work), and streamed, as
# extraction takes a large entry, every byte copied out of the window into a
# buffer as extraction hands it on to the file (one copy more).
#
# Whole processes (ramaglin-zip against unzip -o -q, 7z x and bsdtar -xf): each
# tool gets one untimed run whose tree is compared with the files the archive
# was made from, then $TOURS timed runs in turns (each round starts with
# another tool), each into a new folder removed after the clock; the median
# is kept. Extraction goes to a tmpfs (the headline) and, for the corpus, to
# the disk as well. Archives:
#   corpus.zip     the corpus, zip -6                      (tmpfs and disk)
#   corpus64.zip   the corpus, Deflate64 made by 7-Zip     (bsdtar has none)
#   petits10k.zip  10,000 files of 100 to 2,000 bytes, zip -6, 100 a folder
#   petits60k.zip  60,000 of them
#   chiffre.zip    the corpus and 4,000 files of /usr/include, zip -6 -P
#   zip64.zip      70,000 small files by Python's zipfile (Zip64 end record)
#
# Last line: `zip KEY=RATIO ...` (above 1: ours is faster), the same figures
# as the table before it, which names the archive each comes from:
#   text, bin         worst level of the text / binaries file, against libdeflate,
#                     ours in memory; text_stream, bin_stream: ours streamed
#   stored_vs_zlib    worst level of the random file (stored blocks), against zlib
#   crc_vs_libdeflate CRC-32 of the corpus
#   unpack_vs_*       corpus.zip on tmpfs; unpack_disk_vs_* on disk
#   deflate64_vs_7z   corpus64.zip
#   small_files_vs_*  the worse of petits10k.zip and petits60k.zip
#   crypt_tree_vs_*   chiffre.zip
#   zip64_vs_bsdtar   zip64.zip
#
#   bench/zip.sh   (BUILD_DIR: a build of its own under a temporary folder by
#                   default; TOURS=5)
# Everything it writes goes under temporary folders (/tmp and /dev/shm),
# never into the checkout.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
. "$racine/bench/nginx.sh" # for exige
exige cmake ninja python3 zip unzip bsdtar bc
command -v 7zz >/dev/null || exige 7z
sept=$(command -v 7zz || command -v 7z)
travail=$(mktemp -d)
memoire=$(mktemp -d /dev/shm/ramaglin-zip.XXXXXX)
trap 'rm -rf "$travail" "$memoire"' EXIT
build=${BUILD_DIR:-$travail/build}
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target bench_zip ramaglin-zip >/dev/null
TOURS=${TOURS:-5}

# Archives and the trees they are made from live on the tmpfs too: only the
# extraction to the disk writes there.
donnees=$memoire/donnees
sources=$memoire/sources
mkdir -p "$donnees" "$sources/corpus"
corpus=$sources/corpus
{
    # Text: C headers and documentation of the system; binaries: programs and
    # libraries; random: what no compressor shrinks (stored blocks).
    # head closes the pipe once it has its bytes: the writers' SIGPIPE is expected.
    { find /usr/include /usr/share/doc -type f \( -name '*.h' -o -name 'copyright' -o -name '*.txt' \) \
        -size -2M -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null | head -c 45000000 > "$corpus/texte.dat"; } || true
    { find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size -8M -print0 2>/dev/null | sort -z |
        xargs -0 cat 2>/dev/null | head -c 40000000 > "$corpus/binaire.dat"; } || true
    python3 -c "
import random, sys
r = random.Random(2026)
sys.stdout.buffer.write(r.randbytes(15000000))" > "$corpus/aleatoire.dat"
}
# What the system happens to hold decides the corpus: too little of it would
# measure nothing worth a figure.
for f in texte.dat binaire.dat; do
    if [ "$(stat -c %s "$corpus/$f")" -lt 10000000 ]; then
        echo "zip.sh: less than 10 MB found for $f on this machine" >&2
        exit 1
    fi
done

echo "== decoders: best of 20 rounds in turns after an untimed one, output kept and checked =="
"$build/bench_zip" "$corpus" texte.dat binaire.dat aleatoire.dat > "$donnees/inflate.txt"
cat "$donnees/inflate.txt"
declare -A r
for kv in $(sed -n 's/^ratios //p' "$donnees/inflate.txt"); do r[${kv%%=*}]=${kv#*=}; done

echo "== making the archives =="
(cd "$corpus" && zip -q -6 "$donnees/corpus.zip" texte.dat binaire.dat aleatoire.dat)
(cd "$corpus" && "$sept" a -bd -tzip -mm=Deflate64 -mx=5 "$donnees/corpus64.zip" texte.dat binaire.dat aleatoire.dat >/dev/null)
# Small files: words of a small vocabulary, so that they compress as text does.
petits() { # DOSSIER NOMBRE
    python3 - "$1" "$2" <<'PY'
import os, random, sys
dossier, n = sys.argv[1], int(sys.argv[2])
r = random.Random(n)
mots = [''.join(r.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(r.randint(2, 9))) for _ in range(3000)]
for i in range(n):
    d = os.path.join(dossier, 'd%03d' % (i // 100))
    if i % 100 == 0:
        os.makedirs(d)
    taille = r.randint(100, 2000)
    texte = ' '.join(r.choices(mots, k=taille // 3))[:taille]
    with open(os.path.join(d, 'f%05d.txt' % i), 'w') as f:
        f.write(texte)
PY
}
for n in 10 60; do
    mkdir -p "$sources/petits${n}k"
    petits "$sources/petits${n}k" $((n * 1000))
    (cd "$sources/petits${n}k" && zip -q -r -6 "$donnees/petits${n}k.zip" .)
done
# The encrypted tree: the corpus and 4,000 headers in their folders.
mkdir -p "$sources/chiffre"
cp "$corpus"/*.dat "$sources/chiffre/"
(cd / && find usr/include -type f -size -200k 2>/dev/null | sort | sed -n 1,4000p |
    xargs -d '\n' cp --parents -t "$sources/chiffre")
(cd "$sources/chiffre" && zip -q -r -6 -P secret "$donnees/chiffre.zip" .)
mkdir -p "$sources/zip64"
python3 - "$sources/zip64" "$donnees/zip64.zip" <<'PY'
import os, sys, zipfile
dossier, archive = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive, 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(70000):
        nom = 'd%02d/f%05d.txt' % (i // 1000, i)
        texte = ('entry %d ' % i) * (1 + i % 20)
        os.makedirs(os.path.join(dossier, os.path.dirname(nom)), exist_ok=True)
        with open(os.path.join(dossier, nom), 'w') as f:
            f.write(texte)
        z.write(os.path.join(dossier, nom), nom)
PY

mediane() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# lance TOOL ARCHIVE DEST PASSWORD: one extraction into DEST (already made).
lance() {
    case $1 in
    nous) "$build/ramaglin-zip" "$2" "$3" ${4:+--password "$4"} >/dev/null ;;
    unzip) unzip -o -q ${4:+-P "$4"} "$2" -d "$3" ;;
    7z) "$sept" x -bd -y ${4:+-p"$4"} -o"$3" "$2" >/dev/null ;;
    bsdtar) bsdtar ${4:+--passphrase "$4"} -xf "$2" -C "$3" ;;
    esac
}
# compare NAME ARCHIVE SOURCE WHERE PASSWORD TOOL...: prints each tool's median
# and sets c_<tool> (the tool's median over ours).
compare() {
    local nom=$1 archive=$2 source=$3 ou=$4 mdp=$5
    shift 5
    local outils=("$@") n=$# i k o d t0 t1
    local sortie=$ou/sorties
    rm -rf "$sortie"
    mkdir -p "$sortie"
    for o in "${outils[@]}"; do
        # The untimed run: its tree must be the source's, byte for byte.
        d=$sortie/$o-0
        mkdir -p "$d"
        lance "$o" "$archive" "$d" "$mdp" || true
        if ! diff -r -q "$source" "$d" >/dev/null; then
            echo "$nom: the tree $o extracts differs from the source files" >&2
            diff -r -q "$source" "$d" | head -5 >&2
            exit 1
        fi
        rm -rf "$d"
        : > "$sortie/$o.temps"
    done
    for i in $(seq "$TOURS"); do
        for k in $(seq 0 $((n - 1))); do
            o=${outils[$(((i + k) % n))]}
            d=$sortie/$o-$i
            mkdir -p "$d"
            # No dirty page left by the run before: its write-back would slow
            # whichever tool came next.
            sync
            t0=$EPOCHREALTIME
            lance "$o" "$archive" "$d" "$mdp"
            t1=$EPOCHREALTIME
            echo "$t1 - $t0" | bc >> "$sortie/$o.temps"
            rm -rf "$d"
        done
    done
    local nous ligne m
    nous=$(mediane < "$sortie/nous.temps")
    ligne=$(printf '%-13s %-5s' "$(basename "$archive")" "$ou_nom")
    for o in "${outils[@]}"; do
        m=$(mediane < "$sortie/$o.temps")
        ligne="$ligne $(printf '%s=%.3fs' "$o" "$m")"
        printf -v "c_$o" '%s' "$(echo "scale=2; $m / $nous" | bc | sed 's/^\./0./')"
    done
    echo "$ligne"
    rm -rf "$sortie"
}
moindre() { echo "if ($1 < $2) $1 else $2" | bc | sed 's/^\./0./'; }

echo "== whole process: untimed run checked against the source, then median of $TOURS runs in turns =="
echo "   corpus.zip $(du -m "$donnees/corpus.zip" | cut -f1) MB for $(du -cm "$corpus"/*.dat | tail -1 | cut -f1) MB;" \
    "chiffre.zip $(unzip -Z1 "$donnees/chiffre.zip" | grep -vc '/$') files"
ou_nom=tmpfs
compare corpus "$donnees/corpus.zip" "$corpus" "$memoire" "" nous unzip 7z bsdtar
r[unpack_vs_unzip]=$c_unzip r[unpack_vs_7z]=$c_7z r[unpack_vs_bsdtar]=$c_bsdtar
ou_nom=disk
compare corpus "$donnees/corpus.zip" "$corpus" "$travail" "" nous unzip 7z bsdtar
r[unpack_disk_vs_unzip]=$c_unzip r[unpack_disk_vs_7z]=$c_7z r[unpack_disk_vs_bsdtar]=$c_bsdtar
ou_nom=tmpfs
compare deflate64 "$donnees/corpus64.zip" "$corpus" "$memoire" "" nous 7z
r[deflate64_vs_7z]=$c_7z
compare petits "$donnees/petits10k.zip" "$sources/petits10k" "$memoire" "" nous unzip 7z bsdtar
p7=$c_7z pb=$c_bsdtar
compare petits "$donnees/petits60k.zip" "$sources/petits60k" "$memoire" "" nous unzip 7z bsdtar
r[small_files_vs_7z]=$(moindre "$p7" "$c_7z") r[small_files_vs_bsdtar]=$(moindre "$pb" "$c_bsdtar")
compare chiffre "$donnees/chiffre.zip" "$sources/chiffre" "$memoire" secret nous unzip 7z bsdtar
r[crypt_tree_vs_7z]=$c_7z r[crypt_tree_vs_bsdtar]=$c_bsdtar
compare zip64 "$donnees/zip64.zip" "$sources/zip64" "$memoire" "" nous 7z bsdtar
r[zip64_vs_bsdtar]=$c_bsdtar

echo "== ratios (above 1: ours is faster) =="
ordre=(text bin text_stream bin_stream stored_vs_zlib crc_vs_libdeflate unpack_vs_unzip unpack_vs_7z unpack_vs_bsdtar
    unpack_disk_vs_unzip unpack_disk_vs_7z unpack_disk_vs_bsdtar deflate64_vs_7z
    small_files_vs_bsdtar small_files_vs_7z crypt_tree_vs_7z crypt_tree_vs_bsdtar zip64_vs_bsdtar)
declare -A origine=(
    [text]="texte.dat, levels 1/6/9, against libdeflate" [bin]="binaire.dat, levels 1/6/9, against libdeflate"
    [text_stream]="texte.dat, levels 1/6/9, streamed, against libdeflate"
    [bin_stream]="binaire.dat, levels 1/6/9, streamed, against libdeflate"
    [stored_vs_zlib]="aleatoire.dat, levels 1/6/9, against zlib" [crc_vs_libdeflate]="the corpus"
    [unpack_vs_unzip]="corpus.zip, tmpfs" [unpack_vs_7z]="corpus.zip, tmpfs" [unpack_vs_bsdtar]="corpus.zip, tmpfs"
    [unpack_disk_vs_unzip]="corpus.zip, disk" [unpack_disk_vs_7z]="corpus.zip, disk"
    [unpack_disk_vs_bsdtar]="corpus.zip, disk" [deflate64_vs_7z]="corpus64.zip, tmpfs"
    [small_files_vs_bsdtar]="worse of petits10k.zip and petits60k.zip, tmpfs"
    [small_files_vs_7z]="worse of petits10k.zip and petits60k.zip, tmpfs"
    [crypt_tree_vs_7z]="chiffre.zip, tmpfs" [crypt_tree_vs_bsdtar]="chiffre.zip, tmpfs"
    [zip64_vs_bsdtar]="zip64.zip (70,000 entries), tmpfs")
ligne=zip
for k in "${ordre[@]}"; do
    printf '%-22s %5s  %s\n' "$k" "${r[$k]}" "${origine[$k]}"
    ligne="$ligne $k=${r[$k]}"
done
echo "$ligne"
