#!/bin/bash
# Start and stop Quorvel's reference directory: a private slapd on a free
# loopback port in a temporary folder, seeded with slapadd, run as an
# ordinary process (no root, no system service).
#
#   refdir.sh start [options]   prints the instance's settings as KEY=VALUE
#   refdir.sh stop DIR [--keep] stops the instance of DIR and removes DIR
#   refdir.sh resume DIR        starts a stopped (--keep) instance again on its
#                               data and port; prints QUORVEL_REFDIR_PID
#   refdir.sh log DIR           prints the instance's slapd log
#   refdir.sh free-port         prints a loopback port nobody listens on
#
# start options:
#   --dir DIR          folder of the instance (default: a new mktemp folder)
#   --seed FILE        LDIF of the organisation (default: seed.ldif.in);
#                      @SERVER@ in it becomes the instance's host:port
#   --no-seed          only the organisation's root entries
#   --rootdse FILE     root entry attributes (default: rootdse.ldif)
#   --db-conf FILE     lines added to the organisation's database section
#                      (overlays, limits)
#   --global-conf FILE lines added to the global section (modules, TLS)
#   --port N           listen on N instead of a free port
#   --ldaps            also listen with TLS (needs TLS lines in --global-conf)
#
# Replication (delta-syncrepl: the changes travel as the writes that made them,
# read from an accesslog database, not as whole entries):
#   --provider         logs every write to cn=accesslog and serves both to replicas
#   --replica-of URL   pulls the organisation from the --provider at URL
#   --plain-syncrepl   ... as whole entries (plain syncrepl, no accesslog)
#   --server-id N      this server's ID; with --provider and --replica-of the
#                      two take writes alike (multi-provider)
#   --seed-from DIR    seeds with the organisation of the running instance of
#                      DIR (its entries, entry UUIDs and change numbers), so
#                      that a replica starts in step with it
#
# Content synchronisation (RFC 4533) for clients that read only what changed:
#   --sync             serves sync searches on the organisation (syncprov with
#                      a session log of 10000 changes, so that a refresh from a
#                      cookie names the entries that left instead of listing
#                      every entry still there); combines with --provider
#
# The settings printed by start:
#   QUORVEL_REFDIR_DIR     the instance folder
#   QUORVEL_REFDIR_SERVER  host:port, as an ADsPath names the server
#   QUORVEL_REFDIR_URL     ldap://host:port
#   QUORVEL_REFDIR_LDAPS_URL / _LDAPS_SERVER  with --ldaps
#   QUORVEL_REFDIR_PID     slapd's process id
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export LDAPNOINIT=1
SLAPD=${SLAPD:-$( [ -x /usr/sbin/slapd ] && echo /usr/sbin/slapd || command -v slapd )}
SLAPADD=${SLAPADD:-$( [ -x /usr/sbin/slapadd ] && echo /usr/sbin/slapadd || command -v slapadd )}
ORG_SUFFIX="o=Northwind Traders"
ACCOUNT_SUFFIXES=("cn=admin" "cn=writer" "cn=reader" "cn=limited")

die() { echo "refdir: $*" >&2; exit 1; }

# Lines of an LDIF file whose records lie below (or at) one suffix.
ldif_below() { # file suffix
  awk -v RS= -v ORS='\n\n' -v sfx="$2" '
    { dn = ""; n = split($0, l, "\n")
      for (i = 1; i <= n; i++) if (l[i] ~ /^dn:/) { dn = substr(l[i], 4); sub(/^ +/, "", dn); break }
      low = tolower(dn); s = tolower(sfx)
      if (low == s || (length(low) > length(s) && substr(low, length(low) - length(s)) == "," s)) print }' "$1"
}

fill_template() { # file -> stdout
  local global="" db=""
  [ -n "$global_conf" ] && global=$(cat "$global_conf")
  [ -n "$db_conf" ] && db=$(cat "$db_conf")
  global="$global"$'\n'"$(replication_global)" db="$(replication_db)"$'\n'"$db"
  awk -v refdir="$here" -v rundir="$dir" -v global="$global" -v db="$db" -v pw="$rootpw" '
    { gsub(/@REFDIR@/, refdir); gsub(/@RUNDIR@/, rundir); gsub(/@ROOTPW@/, pw)
      if ($0 == "@GLOBAL@") { print global; next }
      if ($0 == "@DATABASE@") { print db; next }
      print }' "$1"
}

# The lines replication adds to the global section and to the organisation's
# database (a provider's log database ends that section).
replicates() { [ "$provider" = 1 ] || [ -n "$replica_of" ]; }
serves_sync() { [ "$provider" = 1 ] || [ "$sync" = 1 ]; }
replication_global() {
  { replicates || [ "$sync" = 1 ]; } && echo "moduleload syncprov"
  [ "$provider" = 1 ] && echo "moduleload accesslog"
  [ -n "$server_id" ] && echo "serverID $server_id"
  return 0
}
replication_db() {
  { replicates || [ "$sync" = 1 ]; } && echo "index entryCSN,entryUUID eq"
  if [ -n "$replica_of" ]; then
    cat <<EOF
syncrepl rid=001 provider=$replica_of type=refreshAndPersist retry="1 +" timeout=1
  bindmethod=simple binddn="dc=CORP,cn=writer" credentials=writer-pw searchbase="$ORG_SUFFIX"
EOF
    [ "$plain_syncrepl" = 1 ] ||
      echo '  syncdata=accesslog logbase="cn=accesslog" logfilter="(&(objectClass=auditWriteObject)(reqResult=0))"'
    [ "$provider" = 1 ] && echo "multiprovider on"
  fi
  serves_sync || return 0
  echo "overlay syncprov"
  echo "syncprov-checkpoint 100 1"
  [ "$sync" = 1 ] && echo "syncprov-sessionlog 10000"
  [ "$provider" = 1 ] || return 0
  cat <<EOF
overlay accesslog
logdb cn=accesslog
logops writes
logsuccess TRUE
logpurge 24:00 01+00:00

database mdb
suffix cn=accesslog
directory $dir/accesslog
maxsize 1073741824
index default eq
index entryCSN,objectClass,reqEnd,reqResult,reqStart,reqDN
overlay syncprov
syncprov-nopresent TRUE
syncprov-reloadhint TRUE
EOF
}

seed_org() { # server
  local seed_file=$1
  local context=()  # a replica, or a server of sync searches, starts from its contextCSN
  { replicates || [ "$sync" = 1 ]; } && context=(-w)
  if [ -n "$seed_from" ]; then
    "${SLAPCAT:-$(dirname "$SLAPADD")/slapcat}" -f "$seed_from/slapd.conf" -b "$ORG_SUFFIX" -l "$dir/seed.ldif" ||
      die "slapcat of $seed_from failed"
  elif [ "$no_seed" = 1 ]; then
    printf 'dn: %s\nobjectClass: organization\no: Northwind Traders\n' "$ORG_SUFFIX" >"$dir/seed.ldif"
  else
    sed "s/@SERVER@/$server/g" "$seed_file" >"$dir/seed.ldif"
  fi
  "$SLAPADD" -q "${context[@]}" -f "$dir/slapd.conf" -b "$ORG_SUFFIX" -l "$dir/seed.ldif" >>"$dir/slapadd.log" 2>&1 ||
    { cat "$dir/slapadd.log" >&2; die "slapadd of the organisation failed"; }
  local s
  for s in "${ACCOUNT_SUFFIXES[@]}"; do
    ldif_below "$here/accounts.ldif" "$s" >"$dir/acct.ldif"
    "$SLAPADD" -q -f "$dir/slapd.conf" -b "$s" -l "$dir/acct.ldif" >>"$dir/slapadd.log" 2>&1 ||
      { cat "$dir/slapadd.log" >&2; die "slapadd of the accounts below $s failed"; }
  done
}

free_port() { # a port nobody answers on; slapd's own bind is the final test
  # Below the range the kernel hands out to outgoing connections, where a
  # client's local port would keep slapd from binding a port chosen in advance.
  local p low=32768
  read -r low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null
  [ "$low" -gt 12000 ] 2>/dev/null || low=32768
  for _ in $(seq 1 50); do
    p=$((10000 + RANDOM % (low - 10000)))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  die "no free port found"
}

answers() { # url
  ldapsearch -x -H "$1" -b "" -s base -LLL -o nettimeout=1 1.1 >/dev/null 2>&1
}

start_once() { # port -> 0 when slapd answers, 1 when it did not come up
  local port=$1
  server="127.0.0.1:$port"
  rm -rf "$dir/org" "$dir/accesslog" "$dir"/acct-*
  mkdir -p "$dir/org" "$dir/accesslog" "${ACCOUNT_SUFFIXES[@]/#cn=/$dir/acct-}"
  fill_template "$here/slapd.conf.in" >"$dir/slapd.conf"
  cp "$rootdse" "$dir/rootdse.ldif"
  seed_org "$seed"
  local urls="ldap://$server/"
  [ "$ldaps" = 1 ] && { ldaps_port=$((port + 1)); urls="$urls ldaps://127.0.0.1:$ldaps_port/"; }
  echo "$urls" >"$dir/slapd.urls"
  run_slapd "$urls"
}

run_slapd() { # urls -> 0 when slapd answers on the first of them
  "$SLAPD" -f "$dir/slapd.conf" -h "$1" -d "${QUORVEL_REFDIR_LOGLEVEL:-stats}" >>"$dir/slapd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/slapd.pid.run"
  for _ in $(seq 1 250); do
    answers "${1%% *}" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.02
  done
  kill "$pid" 2>/dev/null
  return 1
}

cmd_resume() {
  dir=${1:-}
  [ -n "$dir" ] && [ -f "$dir/slapd.urls" ] || die "resume: no stopped instance in '${dir}'"
  run_slapd "$(cat "$dir/slapd.urls")" || { tail -n 30 "$dir/slapd.log" >&2; die "slapd did not start again"; }
  echo "QUORVEL_REFDIR_PID=$pid"
}

cmd_start() {
  dir="" seed="$here/seed.ldif.in" no_seed=0 rootdse="$here/rootdse.ldif"
  db_conf="" global_conf="" port="" ldaps=0 provider=0 replica_of="" server_id="" seed_from="" plain_syncrepl=0 sync=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir=$2; shift ;;
      --seed) seed=$2; shift ;;
      --no-seed) no_seed=1 ;;
      --rootdse) rootdse=$2; shift ;;
      --db-conf) db_conf=$2; shift ;;
      --global-conf) global_conf=$2; shift ;;
      --port) port=$2; shift ;;
      --ldaps) ldaps=1 ;;
      --provider) provider=1 ;;
      --replica-of) replica_of=$2; shift ;;
      --plain-syncrepl) plain_syncrepl=1 ;;
      --sync) sync=1 ;;
      --server-id) server_id=$2; shift ;;
      --seed-from) seed_from=$(cd "$2" && pwd) || die "no instance in $2"; shift ;;
      *) die "unknown option $1" ;;
    esac
    shift
  done
  [ -x "$SLAPD" ] || die "slapd is not installed (package slapd)"
  [ -n "$dir" ] || dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-refdir.XXXXXX")
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
  rootpw=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  local tries=1
  [ -z "$port" ] && tries=8
  for _ in $(seq 1 "$tries"); do
    local p=${port:-$(free_port)}
    if start_once "$p"; then
      echo "QUORVEL_REFDIR_DIR=$dir"
      echo "QUORVEL_REFDIR_SERVER=$server"
      echo "QUORVEL_REFDIR_URL=ldap://$server"
      if [ "$ldaps" = 1 ]; then
        echo "QUORVEL_REFDIR_LDAPS_SERVER=127.0.0.1:$ldaps_port"
        echo "QUORVEL_REFDIR_LDAPS_URL=ldaps://127.0.0.1:$ldaps_port"
      fi
      echo "QUORVEL_REFDIR_PID=$pid"
      return 0
    fi
  done
  tail -n 30 "$dir/slapd.log" >&2
  die "slapd did not start (log: $dir/slapd.log)"
}

alive() { # pid: running and not a zombie waiting to be reaped
  local state
  state=$(awk '{ sub(/.*\) /, ""); print substr($0, 1, 1) }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

cmd_stop() {
  local d=${1:-} keep=${2:-}
  [ -n "$d" ] && [ -d "$d" ] || die "stop: no instance folder given"
  if [ -f "$d/slapd.pid.run" ]; then
    local p
    p=$(cat "$d/slapd.pid.run")
    kill "$p" 2>/dev/null
    # slapd takes seconds for an orderly shutdown; its mdb data is crash-safe.
    # A replicating instance is given the time (about a second): killed in the
    # middle of its shutdown, it can keep a change from its replicas for good.
    local waits=10
    grep -q '^syncrepl\|^overlay syncprov' "$d/slapd.conf" 2>/dev/null && waits=500
    for _ in $(seq 1 "$waits"); do alive "$p" || break; sleep 0.02; done
    kill -9 "$p" 2>/dev/null
  fi
  [ "$keep" = "--keep" ] || rm -rf "$d"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  resume) shift; cmd_resume "$@" ;;
  log) cat "${2:?log: no instance folder given}/slapd.log" ;;
  free-port) free_port ;;
  *) sed -n '2,47p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
