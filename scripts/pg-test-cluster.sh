#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for tests and benchmarks.
#   pg-test-cluster.sh start DIR   initdb, start on a free loopback port, print the URL
#                                  (also left in DIR/url)
#   pg-test-cluster.sh stop DIR    stop it and remove its files
#   pg-test-cluster.sh kill DIR    stop it at once (-m immediate), files kept
#   pg-test-cluster.sh restart DIR start it again on the same port
# Loopback connections are trusted, except the role kestro_pw, which must give its
# password: tests of a wrong one. Run as root (as CI is), the server runs as the
# postgres user in a folder of its own, named in DIR/cluster.
set -euo pipefail
bin=${KESTRO_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
[ -x "$bin/initdb" ] || { echo "pg-test-cluster: no PostgreSQL server found (package postgresql)" >&2; exit 1; }
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|kill|restart DIR" >&2; exit 64; }

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

server_start() {
  local cluster=$1 port=$2
  as_server "$bin/pg_ctl" -D "$cluster/data" -l "$cluster/log" -w -t 60 \
    -o "-p $port -k $cluster -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off -c max_connections=60" \
    start >/dev/null
}

case "$cmd" in
start)
  mkdir -p "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    cluster=$(mktemp -d /tmp/kestro-pg.XXXXXX)
    chown postgres: "$cluster"
  else
    cluster=$(cd "$dir" && pwd)/pg
    mkdir -p "$cluster"
  fi
  echo "$cluster" >"$dir/cluster"
  as_server "$bin/initdb" -D "$cluster/data" -U postgres -A trust -E UTF8 --no-sync --locale=C.UTF-8 >"$cluster/initdb.log" 2>&1 \
    || { cat "$cluster/initdb.log" >&2; exit 1; }
  hba="$cluster/data/pg_hba.conf"
  { echo "host all kestro_pw 127.0.0.1/32 scram-sha-256"; cat "$hba"; } >"$hba.new"
  mv "$hba.new" "$hba"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$hba"
  # Another program may take the port between the choice and the start: choose again.
  for attempt in 1 2 3 4 5; do
    port=$(free_port)
    if server_start "$cluster" "$port"; then
      echo "$port" >"$dir/port"
      echo "postgresql://postgres@127.0.0.1:$port/postgres" | tee "$dir/url"
      exit 0
    fi
  done
  cat "$cluster/log" >&2
  exit 1
  ;;
stop | kill)
  [ -f "$dir/cluster" ] || exit 0
  cluster=$(cat "$dir/cluster")
  mode=fast
  [ "$cmd" = kill ] && mode=immediate
  as_server "$bin/pg_ctl" -D "$cluster/data" -m "$mode" -w stop >/dev/null 2>&1 || true
  if [ "$cmd" = stop ]; then
    rm -rf "$cluster"
    rm -f "$dir/cluster" "$dir/url" "$dir/port"
  fi
  ;;
restart)
  cluster=$(cat "$dir/cluster")
  server_start "$cluster" "$(cat "$dir/port")"
  cat "$dir/url"
  ;;
*)
  echo "usage: $0 start|stop|kill|restart DIR" >&2
  exit 64
  ;;
esac
