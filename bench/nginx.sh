# Sourced by the benchmark scripts: the tools they need, and nginx serving a
# folder on a free port of 127.0.0.1, with its files under a work folder.
#   exige COMMANDE...               stops the script, naming what is missing
#   travail_temporaire              sets $travail to a new temporary folder, which
#                                   goes on exit, with the nginx started below
#   demarre_nginx RACINE TRAVAIL    sets $port and $nginx_pid, returns once it
#                                   answers (stops the script when it does not)
#     [CERTIFICAT CLE]              also HTTPS and HTTP/2 on $port_tls, each
#                                   request logged to TRAVAIL/access.log with
#                                   its connection ("connexion=N")
#   dossier_en_memoire DOSSIER      makes DOSSIER a tmpfs of its own (unmounted on
#                                   exit); where mounting is refused, a folder of
#                                   /dev/shm instead; prints what it did
#   dossiers_a_part DOSSIER         points XDG_RUNTIME_DIR, XDG_CACHE_HOME and
#                                   XDG_STATE_HOME at new folders of DOSSIER:
#                                   the program's single-instance lock, its
#                                   services' private folders and their locks
#                                   are then the bench's own, and a window of
#                                   the program open beside it neither stops
#                                   the bench nor is touched by it
exige() {
    local manque=() c
    for c in "$@"; do command -v "$c" >/dev/null 2>&1 || manque+=("$c"); done
    if [ ${#manque[@]} -gt 0 ]; then
        echo "$(basename "$0"): missing on this machine: ${manque[*]}" >&2
        exit 1
    fi
}
travail_temporaire() {
    travail=$(mktemp -d)
    nginx_pid=
    montages=() partages=()
    trap nettoie_travail EXIT
}
nettoie_travail() {
    local m
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    for m in "${montages[@]}"; do umount "$m" 2>/dev/null || true; done
    for m in "${partages[@]}"; do rm -rf "$m"; done
    rm -rf "$travail"
}
dossier_en_memoire() {
    local dossier=$1
    mkdir -p "$dossier"
    if mount -t tmpfs -o size=1g,mode=0700 tmpfs "$dossier" 2>/dev/null; then
        montages+=("$dossier")
        echo "in-memory folder: a tmpfs mounted on $dossier"
    else
        # Not allowed to mount: /dev/shm is a tmpfs too.
        rmdir "$dossier"
        partages+=("$(mktemp -d /dev/shm/ramaglin-bench.XXXXXX)")
        ln -s "${partages[-1]}" "$dossier"
        echo "in-memory folder: mounting refused, $(readlink "$dossier") instead"
    fi
}
dossiers_a_part() {
    mkdir -m 700 -p "$1/xdg/run" "$1/xdg/cache" "$1/xdg/state"
    export XDG_RUNTIME_DIR=$1/xdg/run XDG_CACHE_HOME=$1/xdg/cache XDG_STATE_HOME=$1/xdg/state
}
demarre_nginx() {
    local racine=$1 travail=$2
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    local tls= journal="access_log off;"
    if [ $# -ge 4 ]; then
        port_tls=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        tls="listen 127.0.0.1:$port_tls ssl http2; ssl_certificate $3; ssl_certificate_key $4;"
        journal="log_format connexion '\$request connexion=\$connection'; access_log $travail/access.log connexion;"
    fi
    cat >"$travail/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $travail/nginx.pid;
error_log $travail/error.log;
events { worker_connections 64; }
http {
    $journal
    client_body_temp_path $travail/body;
    proxy_temp_path $travail/proxy;
    fastcgi_temp_path $travail/fastcgi;
    uwsgi_temp_path $travail/uwsgi;
    scgi_temp_path $travail/scgi;
    default_type application/octet-stream;
    sendfile on;
    server {
        listen 127.0.0.1:$port;
        $tls
        root $racine;
    }
}
CONF
    nginx -p "$travail" -c "$travail/nginx.conf" -e "$travail/error.log" &
    nginx_pid=$!
    for _ in $(seq 100); do
        if curl -s -o /dev/null -I "http://127.0.0.1:$port/"; then return 0; fi
        sleep 0.05
    done
    echo "$(basename "$0"): nginx does not answer on port $port:" >&2
    cat "$travail/error.log" >&2 2>/dev/null || true
    exit 1
}

# Runs a command under the clock: its seconds in $t. Its output goes to a file
# under $travail (printed when it fails), its exit status must be 0.
chronometre() { # QUI COMMANDE...
    local qui=$1 debut fin s=0
    shift
    debut=$EPOCHREALTIME
    "$@" >"$travail/sortie.log" 2>&1 || s=$?
    fin=$EPOCHREALTIME
    if [ "$s" != 0 ]; then
        echo "$(basename "$0"): $qui exited with status $s:" >&2
        tail -n 20 "$travail/sortie.log" >&2
        exit 1
    fi
    t=$(awk -v a="$debut" -v b="$fin" 'BEGIN{printf "%.3f", b - a}')
}
vide() { rm -rf "$1"; mkdir -p "$1"; sync; } # before a clock, never under it
