#!/usr/bin/env bash
# Many files at the latency of a home connection, against curl and aria2c, side
# by side in one run. The files are served by nginx on 127.0.0.1 through a small
# proxy of this script (Python asyncio, on 127.0.0.1 too) that turns each
# connection into a delay line of RTT/2 each way:
#   - every chunk read from one side is written to the other side RTT/2 after it
#     was read, in order, in both directions; a request and its answer thus
#     cost one round trip of RTT more than the loopback;
#   - a new connection costs one more: its first bytes toward nginx leave no
#     earlier than RTT after the connection was accepted, as a TCP handshake
#     would hold them back (connect() itself returns at once);
#   - an end of stream (a close) is passed on RTT/2 later, like the data;
#   - it adds no bandwidth limit and buffers whatever nginx sends at loopback
#     speed: there is no TCP window to open at that distance, so a large
#     file costs its round trips plus its loopback time. The figures are about
#     round trips, not about throughput.
# Before the measures it checks itself with curl: a first GET on a new
# connection must take at least 2 RTT, each next GET on it at least RTT.
# Workloads, each at RTT = 20 ms and 50 ms, into a tmpfs:
#   - 200 files of 4 KiB;
#   - 20 files of 1 MiB;
# fetched by
#   - curl -K: sequential GETs on one connection;
#   - curl --parallel --parallel-max 5 -K;
#   - aria2c -i with its defaults (5 downloads at once);
#   - ours: `ramaglin --sans-fenetre` on a service file written here, as
#     shipped (default settings), and with TRANSFERTS_SIMULTANES=5 (like for
#     like with aria2c's and curl's 5). Its list is fetched straight from nginx,
#     outside the proxy: it is the run's input, as the address files of curl and
#     aria2c are, read from the disk. A version of the program without that
#     variable ignores it: both columns then measure the same thing.
# Each clock covers its own tool only (the output folder is emptied and the disk
# synced before it starts); each tool's exit status is checked, and after each
# run its folder must hold exactly the served files, byte for byte (diff -r).
# One untimed run of each program on the small files at 20 ms comes first;
# each figure is then the best of RUNS runs (3 by default), the tools taking
# turns to go first. With 3 runs the whole takes three to six minutes, most of
# it the sequential fetches (curl -K, and ours when it fetches one file at a
# time).
#   bench/latency.sh      (BUILD_DIR: a build of its own under a temporary folder
#                          by default; RUNS=3; JOBS: build jobs, 2)
# Everything it writes goes under a temporary folder (and a tmpfs mounted in
# it), never into the checkout.
# Last line (ratios above 1: ours is faster):
# latency files_20ms_vs_curl=A files_20ms_vs_aria2=B files_50ms_vs_aria2=C files_20ms_vs_curl_parallel=D big_20ms_vs_curl=E
#   A = curl -K / ours as shipped, 200 files of 4 KiB at 20 ms (bar: 3.5)
#   B, C = aria2c / ours with 5 at once, 200 files at 20 ms, at 50 ms (bar: 1.0)
#   D = curl --parallel-max 5 / ours with 5 at once, 200 files at 20 ms (bar: 1.0)
#   E = curl -K / ours as shipped, 20 files of 1 MiB at 20 ms (bar: 0.9)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/nginx.sh
exige cmake ninja curl nginx python3 aria2c diff
runs=${RUNS:-3}
travail_temporaire
build=${BUILD_DIR:-$travail/build}
# Every tool goes straight to 127.0.0.1, whatever this shell was set to use.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAMAGLIN_BENCH=ON \
    -DRAMAGLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target ramaglin >/dev/null
# After the build: a compiler cache keeps its files under XDG_CACHE_HOME.
dossiers_a_part "$travail"
programme=$build/ramaglin

# The files: petits/ (200 of 4 KiB) and gros/ (20 of 1 MiB), random bytes, and
# the list of each for our run.
www=$travail/www
python3 - "$www" <<'PY'
import os, sys
racine = sys.argv[1]
for dossier, nombre, taille, texte in (("petits", 200, 4096, "Petit"), ("gros", 20, 1 << 20, "Gros")):
    os.makedirs(os.path.join(racine, dossier))
    with open(os.path.join(racine, dossier + ".txt"), "w", newline="") as liste:
        for i in range(nombre):
            nom = "%s-%03d.bin" % (dossier, i)
            with open(os.path.join(racine, dossier, nom), "wb") as f:
                f.write(os.urandom(taille))
            liste.write("%s\t%s %d\tG\r\n" % (nom, texte, i))
PY
demarre_nginx "$www" "$travail"

# The delay line: `retard.py AMONT FICHIER RTT_MS...` listens on a free port of
# 127.0.0.1 for each RTT, forwards to the port AMONT, and writes "RTT PORT"
# lines to FICHIER once it listens.
cat >"$travail/retard.py" <<'PY'
import asyncio, os, sys

amont, fichier_ports = int(sys.argv[1]), sys.argv[2]
delais = [int(d) for d in sys.argv[3:]]

async def ligne(lecteur, ecrivain, demi, depart):
    """Copies lecteur to ecrivain, each chunk leaving `demi` seconds after it
    was read (and no earlier than `depart` + `demi`), the end of stream too."""
    boucle = asyncio.get_running_loop()
    file = asyncio.Queue()
    async def sortie():
        while True:
            quand, bloc = await file.get()
            attente = quand - boucle.time()
            if attente > 0:
                await asyncio.sleep(attente)
            if not bloc:
                break
            ecrivain.write(bloc)
            await ecrivain.drain()
        if ecrivain.can_write_eof():
            ecrivain.write_eof()
    tache = asyncio.ensure_future(sortie())
    try:
        while True:
            bloc = await lecteur.read(1 << 16)
            await file.put((max(boucle.time(), depart) + demi, bloc))
            if not bloc:
                break
    except ConnectionError:
        await file.put((boucle.time(), b""))
    try:
        await tache
    except (ConnectionError, OSError):
        pass

def service(rtt):
    async def client(lecteur, ecrivain):
        accepte = asyncio.get_running_loop().time()
        try:
            amont_l, amont_e = await asyncio.open_connection("127.0.0.1", amont)
        except OSError:
            ecrivain.close()
            return
        # Toward nginx: held back a handshake's round trip, then RTT/2.
        await asyncio.gather(ligne(lecteur, amont_e, rtt / 2, accepte + rtt),
                             ligne(amont_l, ecrivain, rtt / 2, 0.0),
                             return_exceptions=True)
        amont_e.close()
        ecrivain.close()
    return client

async def principal():
    serveurs, lignes = [], []
    for d in delais:
        s = await asyncio.start_server(service(d / 1000.0), "127.0.0.1", 0, backlog=128)
        serveurs.append(s)
        lignes.append("%d %d" % (d, s.sockets[0].getsockname()[1]))
    with open(fichier_ports + ".part", "w") as f:
        f.write("\n".join(lignes) + "\n")
    os.rename(fichier_ports + ".part", fichier_ports)
    await asyncio.gather(*(s.serve_forever() for s in serveurs))

asyncio.run(principal())
PY
delais=(20 50)
python3 "$travail/retard.py" "$port" "$travail/ports" "${delais[@]}" 2>"$travail/retard.log" &
retard_pid=$!
trap 'kill $retard_pid 2>/dev/null || true; nettoie_travail' EXIT
for _ in $(seq 100); do [ -s "$travail/ports" ] && break; sleep 0.05; done
[ -s "$travail/ports" ] || { echo "latency.sh: the delaying proxy did not start:" >&2; cat "$travail/retard.log" >&2; exit 1; }
declare -A port_retard
while read -r d p; do port_retard[$d]=$p; done <"$travail/ports"

# Each tool's input for each workload and RTT, and our service files.
mkdir -p "$travail/services"
memoire=$travail/memoire
dossier_en_memoire "$memoire"
sortie=$memoire/sortie
for d in "${delais[@]}"; do
    base=http://127.0.0.1:${port_retard[$d]}
    for w in petits gros; do
        : >"$travail/curl-$w-$d.cfg"
        : >"$travail/aria2-$w-$d.txt"
        for f in "$www/$w"/*.bin; do
            echo "url = \"$base/$w/${f##*/}\"" >>"$travail/curl-$w-$d.cfg"
            echo "$base/$w/${f##*/}" >>"$travail/aria2-$w-$d.txt"
        done
        for mode in livre 5; do
            mkdir -m 700 -p "$travail/rep/$w-$d-$mode"
            {
                printf 'REP_TMP=%s/\r\n' "$travail/rep/$w-$d-$mode"
                printf 'FICHIER_LISTE_NOM=http://127.0.0.1:%s/%s.txt\r\n' "$port" "$w"
                printf 'AFFICHE_RESULTAT=O\r\nNUM_COLONNE_AFFICHEE=2\r\n'
                printf 'COMPARER_LISTE_A_IDENTIFIANT=O\r\nCOL_COMPARAISON_IDENT=3\r\nIDENTIFIANT_A_COMPARER=G\r\n'
                printf 'NUM_COLONNE_TELECHARGEE=1\r\nADRESSE_BASE_FICHIERS_SOURCES=%s/%s/\r\n' "$base" "$w"
                printf 'CHEMIN_DESTINATION_FICHIER_SOURCE=%s/\r\n' "$sortie"
                [ "$mode" = livre ] || printf 'TRANSFERTS_SIMULTANES=%s\r\n' "$mode"
            } >"$travail/services/$w-$d-$mode.txt"
        done
    done
done

# The proxy's own check: 1 GET on a new connection, then 9 more on it.
for d in "${delais[@]}"; do
    cfg=$travail/controle-$d.cfg
    : >"$cfg"
    for _ in $(seq 10); do
        printf 'url = "http://127.0.0.1:%s/petits/petits-000.bin"\noutput = "/dev/null"\n' "${port_retard[$d]}" >>"$cfg"
    done
    curl -sS -f -w '%{time_total}\n' -K "$cfg" >"$travail/controle-$d"
    awk -v d="$d" 'NR == 1 {premier = $1 * 1000} NR > 1 {s += $1 * 1000; n++}
        END {
            printf "proxy at %d ms: first GET on a new connection %.1f ms (at least %d), each next GET on it %.1f ms (at least %d)\n", d, premier, 2 * d, s / n, d
            if (premier < 2 * d * 0.95 || s / n < d * 0.95) { print "latency.sh: the proxy does not delay as it should" > "/dev/stderr"; exit 1 }
        }' "$travail/controle-$d"
done

# Exactly the served files, byte for byte, nothing more.
verifie() { # WORKLOAD QUI
    diff -rq "$www/$1" "$sortie" >"$travail/diff.log" 2>&1 ||
        { echo "latency.sh: $2 did not leave the $1 files as served:" >&2; head -n 20 "$travail/diff.log" >&2; exit 1; }
}
outils=(curl curl_parallele aria2 nous nous5)
declare -A noms=([curl]="curl -K" [curl_parallele]="curl --parallel-max 5" [aria2]="aria2c -i"
    [nous]="ours" [nous5]="ours, 5 at once")
lance() { # OUTIL WORKLOAD RTT: one checked run, its seconds in $t
    local o=$1 w=$2 d=$3
    vide "$sortie"
    case $o in
    curl) chronometre "${noms[$o]}" curl -sS -f --remote-name-all --output-dir "$sortie" -K "$travail/curl-$w-$d.cfg" ;;
    curl_parallele) chronometre "${noms[$o]}" curl -sS -f --parallel --parallel-max 5 --remote-name-all \
        --output-dir "$sortie" -K "$travail/curl-$w-$d.cfg" ;;
    aria2) chronometre "${noms[$o]}" aria2c --no-conf -q -i "$travail/aria2-$w-$d.txt" -d "$sortie" ;;
    nous) chronometre "${noms[$o]}" "$programme" --sans-fenetre "$travail/services/$w-$d-livre.txt" ;;
    nous5) chronometre "${noms[$o]}" "$programme" --sans-fenetre "$travail/services/$w-$d-5.txt" ;;
    esac
    verifie "$w" "${noms[$o]} ($w, $d ms)"
}

# The warm-up, untimed: nginx, the tmpfs, each program (ours once: both of its
# columns are the same program). The files were just written: they are in the
# page cache.
for o in curl curl_parallele aria2 nous; do lance "$o" petits 20; done

declare -A meilleur
for i in $(seq "$runs"); do
    for d in "${delais[@]}"; do
        for w in petits gros; do
            ligne="run $i, $w, $d ms:"
            for k in "${!outils[@]}"; do # each run starts with another tool
                o=${outils[$(( (k + i) % ${#outils[@]} ))]}
                lance "$o" "$w" "$d"
                ligne+=" ${noms[$o]} ${t}s;"
                cle="$w $d $o"
                meilleur[$cle]=$(awk -v a="$t" -v b="${meilleur[$cle]:-$t}" 'BEGIN{print (a<b)?a:b}')
            done
            echo "${ligne%;}"
        done
    done
done

echo
echo "best of $runs, seconds:"
printf '%-22s' "case"
for o in "${outils[@]}"; do printf '%22s' "${noms[$o]}"; done
echo
for w in petits gros; do
    for d in "${delais[@]}"; do
        if [ "$w" = petits ]; then printf '%-22s' "200 x 4 KiB, $d ms"; else printf '%-22s' "20 x 1 MiB, $d ms"; fi
        for o in "${outils[@]}"; do printf '%22s' "${meilleur[$w $d $o]}"; done
        echo
    done
done
ratio() { awk -v a="${meilleur[$1]}" -v b="${meilleur[$2]}" 'BEGIN{printf "%.2f", a/b}'; }
echo "latency files_20ms_vs_curl=$(ratio 'petits 20 curl' 'petits 20 nous')" \
    "files_20ms_vs_aria2=$(ratio 'petits 20 aria2' 'petits 20 nous5')" \
    "files_50ms_vs_aria2=$(ratio 'petits 50 aria2' 'petits 50 nous5')" \
    "files_20ms_vs_curl_parallel=$(ratio 'petits 20 curl_parallele' 'petits 20 nous5')" \
    "big_20ms_vs_curl=$(ratio 'gros 20 curl' 'gros 20 nous')"
