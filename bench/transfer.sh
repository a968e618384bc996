#!/usr/bin/env bash
# The transfer layer against curl, side by side in one run: the same 1 GiB file
# served by nginx on 127.0.0.1, fetched RUNS times by each (alternately), into
# the same folder. Our side is bench_transfert (TelechargeFichier in a
# QCoreApplication, with its peak memory and the event loop's longest gap).
#   bench/transfer.sh      (BUILD_DIR: a build of its own under a temporary folder
#                           by default; RUNS=4)
# Everything it writes goes under a temporary folder, never into the checkout.
# Before it, the receive path's mechanisms (bench_transfert --mecanismes):
#   transfer_mechanisms queued_calls_small=N held_kib_slow_reader=K tls_connections=C
#   bars: N = 1 (a 4 KiB answer reaches the event loop in one queued call),
#   K <= 1152 (a reader that does not read holds the ring, not the file),
#   C = 1 (two files fetched over HTTPS share one HTTP/2 connection).
# Last line: transfer ratio=R rss_extra_mib=M max_gap_ms=G
#   R = our throughput / curl's (best run of each); bars: R >= 0.9, M <= 64, G < 50.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja curl nginx python3 truncate openssl
runs=${RUNS:-4}
travail_temporaire
build=${BUILD_DIR:-$travail/build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON \
    -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_transfert >/dev/null
programme=$build/bench/bench_transfert

# The file: 1 GiB, sparse.
mkdir -p "$travail/www"
fichier=$travail/www/transfert-1g.bin
taille=1073741824
truncate -s "$taille" "$fichier"
head -c 4096 /dev/urandom >"$travail/www/petit.bin"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$travail/serveur.key" -out "$travail/serveur.pem" 2>/dev/null
demarre_nginx "$travail/www" "$travail" "$travail/serveur.pem" "$travail/serveur.key"
adresse="http://127.0.0.1:$port/$(basename "$fichier")"

meilleur_curl=
meilleur_nous=
rss=0
ecart=0
mesure_curl() {
    sync
    t=$(curl -s -o "$travail/curl.bin" -w '%{time_total}' "$adresse")
    [ "$(stat -c %s "$travail/curl.bin")" = "$taille" ] || { echo "curl: taille incorrecte" >&2; exit 1; }
    rm -f "$travail/curl.bin"
}
mesure_nous() {
    sync
    ligne=$("$programme" "$adresse" "$travail/nous.bin" 2>/dev/null)
    [ "$(stat -c %s "$travail/nous.bin")" = "$taille" ] || { echo "bench_transfert: $ligne" >&2; exit 1; }
    rm -f "$travail/nous.bin"
}
for i in $(seq "$runs"); do
    # Each starts with the disk's queue flushed, and each goes first in turn.
    if [ $((i % 2)) = 1 ]; then mesure_curl; mesure_nous; else mesure_nous; mesure_curl; fi
    echo "run $i: curl seconds=$t | ours $ligne"
    s=$(sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$ligne")
    m=$(sed -E 's/.*rss_extra_mib=([0-9.-]+).*/\1/' <<<"$ligne")
    g=$(sed -E 's/.*max_gap_ms=([0-9]+).*/\1/' <<<"$ligne")
    meilleur_curl=$(awk -v a="$t" -v b="${meilleur_curl:-$t}" 'BEGIN{print (a<b)?a:b}')
    meilleur_nous=$(awk -v a="$s" -v b="${meilleur_nous:-$s}" 'BEGIN{print (a<b)?a:b}')
    rss=$(awk -v a="$m" -v b="$rss" 'BEGIN{print (a>b)?a:b}')
    ecart=$(awk -v a="$g" -v b="$ecart" 'BEGIN{print (a>b)?a:b}')
done

# The whole large file must come to the slow reader in the end.
head -c 5000 /dev/urandom >"$travail/www/deux.bin"
meca=$("$programme" --mecanismes "http://127.0.0.1:$port/petit.bin" "$adresse" \
    "https://127.0.0.1:$port_tls/petit.bin" "https://127.0.0.1:$port_tls/deux.bin" "$travail/serveur.pem") ||
    { echo "bench_transfert --mecanismes: $meca" >&2; exit 1; }
[ "${meca##*large_bytes=}" = "$taille" ] || { echo "bench_transfert --mecanismes: $meca" >&2; exit 1; }
# nginx logs a stream once it has closed it, which may come after the client is done.
for _ in $(seq 100); do grep -q '^GET /deux.bin HTTP/2.0 ' "$travail/access.log" && break; sleep 0.05; done
connexions=$(grep -E '^GET /(petit|deux).bin HTTP/2.0 ' "$travail/access.log" | sed 's/.*connexion=//' | sort -u | wc -l)
echo "transfer_mechanisms ${meca% large_bytes=*} tls_connections=$connexions"

ratio=$(awk -v c="$meilleur_curl" -v n="$meilleur_nous" 'BEGIN{printf "%.2f", c/n}')
echo "best: curl ${meilleur_curl}s ($(awk -v t="$meilleur_curl" 'BEGIN{printf "%.0f", 1024/t}') MiB/s), ours ${meilleur_nous}s ($(awk -v t="$meilleur_nous" 'BEGIN{printf "%.0f", 1024/t}') MiB/s)"
echo "transfer ratio=$ratio rss_extra_mib=$rss max_gap_ms=$ecart"
