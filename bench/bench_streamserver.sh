#!/usr/bin/env bash
# Requests per second for 4 MiB segments with "Connection: close": the stream
# server against nginx serving the same folder on loopback, with the same client
# (wrk) and concurrency. Prints the figures and their ratios.
#
# Usage: bench/bench_streamserver.sh [seconds per run, default 5] [connections, default 8] [rounds, default 5]
# Needs root for apt-get when nginx or wrk are missing. Builds bench_streamserver
# into $ZM_BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
connections=${2:-8}
rounds=${3:-5}
threads=${WRK_THREADS:-1}
build=${ZM_BUILD_DIR:-build}

missing=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx)
command -v wrk >/dev/null || missing+=(wrk)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)
# On a shared machine the servers and the client run ahead of other work (as root),
# so that the figures say more about the servers than about the machine's load.
boost=()
[ "$(id -u)" = 0 ] && boost=(nice -n -10)

scripts/build --target bench_streamserver -j2 >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# nginx's workers drop root, so the folder must be readable by everyone.
chmod 755 "$work"
mkdir -p "$work/root/KEY"
head -c $((4 * 1024 * 1024)) /dev/urandom > "$work/root/KEY/seg0.m4s"
chmod -R a+rX "$work/root"

"${boost[@]}" "$build/bench/bench_streamserver" "$work/root" "$work/root/KEY/seg0.m4s" > "$work/url" &
pids+=($!)
ours_pid=$!
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
ours=$(head -n1 "$work/url")
[ -n "$ours" ] || { echo "the stream server did not start" >&2; exit 1; }

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_nginx() {  # $1: worker count ("auto" is Debian's default), $2: port
  cat > "$work/nginx-$1.conf" <<CONF
worker_processes $1;
daemon off;
pid $work/nginx-$1.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_timeout 0;
  types { video/iso.segment m4s; }
  client_body_temp_path $work/body-$1;
  proxy_temp_path $work/proxy-$1;
  fastcgi_temp_path $work/fastcgi-$1;
  uwsgi_temp_path $work/uwsgi-$1;
  scgi_temp_path $work/scgi-$1;
  server {
    listen 127.0.0.1:$2;
    root $work/root;
  }
}
CONF
  "${boost[@]}" "$nginx" -p "$work" -c "$work/nginx-$1.conf" -e "$work/nginx-error.log" &
  pids+=($!)
  eval "nginx_$1_pid=$!"
}

cpu_ticks() {  # $1: pid; CPU time of the process and its children (nginx workers), in ticks
  local total=0 pid
  for pid in "$1" $(pgrep -P "$1" || true); do
    total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
  done
  echo "$total"
}

rate() {  # $1: URL, $2: server pid, $3: name; prints requests/second, notes CPU per request
  local out before after requests
  before=$(cpu_ticks "$2")
  out=$("${boost[@]}" wrk -t"$threads" -c"$connections" -d"${seconds}s" -H "Connection: close" "$1")
  after=$(cpu_ticks "$2")
  if echo "$out" | grep -q "Non-2xx"; then echo "non-2xx replies from $1" >&2; echo "$out" >&2; exit 1; fi
  requests=$(echo "$out" | awk '/requests in/ {print $1}')
  awk -v t=$((after - before)) -v r="$requests" -v hz="$(getconf CLK_TCK)" \
    'BEGIN {printf "%.3f\n", t * 1000 / hz / r}' >> "$work/$3.cpu"
  echo "$out" | awk '/Requests\/sec/ {print $2}'
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

auto_port=$(free_port)
start_nginx auto "$auto_port"
one_port=$(free_port)
start_nginx 1 "$one_port"
nginx_auto="http://127.0.0.1:$auto_port/KEY/seg0.m4s"
nginx_one="http://127.0.0.1:$one_port/KEY/seg0.m4s"
for url in "$nginx_auto" "$nginx_one"; do
  for _ in $(seq 50); do curl -sf -o /dev/null "$url" && break; sleep 0.1; done
done

# All three must send the same bytes.
for url in "$ours" "$nginx_auto" "$nginx_one"; do
  cmp <(curl -sf "$url") "$work/root/KEY/seg0.m4s"
done

# Rounds alternate the servers so that a change in the machine's load falls on
# all of them alike; the medians are compared.
: > "$work/ours"; : > "$work/auto"; : > "$work/one"
for _ in $(seq "$rounds"); do
  rate "$ours" "$ours_pid" ours >> "$work/ours"
  rate "$nginx_auto" "$nginx_auto_pid" auto >> "$work/auto"
  rate "$nginx_one" "$nginx_1_pid" one >> "$work/one"
done
ours_rate=$(median < "$work/ours")
auto_rate=$(median < "$work/auto")
one_rate=$(median < "$work/one")

echo "4 MiB segments, Connection: close, wrk -t$threads -c$connections, $rounds rounds of ${seconds} s," \
     "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)${boost:+, at nice -10}"
# Server CPU per request does not depend on what else the machine runs.
printf "LocalStreamServer      %8.1f req/s, %.3f ms CPU/request (runs: %s)\n" "$ours_rate" \
  "$(median < "$work/ours.cpu")" "$(paste -sd' ' "$work/ours")"
printf "nginx, workers auto    %8.1f req/s, %.3f ms CPU/request (runs: %s)\n" "$auto_rate" \
  "$(median < "$work/auto.cpu")" "$(paste -sd' ' "$work/auto")"
printf "nginx, 1 worker        %8.1f req/s, %.3f ms CPU/request (runs: %s)\n" "$one_rate" \
  "$(median < "$work/one.cpu")" "$(paste -sd' ' "$work/one")"
awk -v o="$ours_rate" -v a="$auto_rate" -v n="$one_rate" 'BEGIN {
  printf "ratio to nginx (auto)  %8.3f\n", o / a
  printf "ratio to nginx (1)     %8.3f\n", o / n
}'
