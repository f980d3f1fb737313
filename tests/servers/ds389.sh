#!/bin/bash
# Start and stop the 389 Directory Server test directory: Debian's 389-ds-base
# as it comes, run as a private, ordinary process on a free loopback port in a
# temporary folder. dscreate is not used: it wants systemd, which test machines
# lack; this script lays out the instance the way dscreate does, from the
# package's own templates, and runs ns-slapd in the foreground.
#
#   ds389.sh start [options]   prints the instance's settings as KEY=VALUE
#   ds389.sh stop DIR [--keep] stops the instance of DIR and removes DIR
#   ds389.sh resume DIR        starts a stopped (--keep) instance again on its
#                              data and port; prints QUORVEL_DIRECTORY_PID
#   ds389.sh log DIR [access|errors|audit]  prints one of the instance's logs
#
# start options:
#   --dir DIR          folder of the instance (default: a new mktemp folder)
#   --port N           listen on N instead of a free port
#   --seed FILE        LDIF of the organisation (default: organisation.ldif.in);
#                      @SERVER@ in it becomes the instance's host:port
#
# The settings printed by start:
#   QUORVEL_DIRECTORY_DIR             the instance folder
#   QUORVEL_DIRECTORY_SERVER          host:port, as an ADsPath names the server
#   QUORVEL_DIRECTORY_URL             ldap://host:port
#   QUORVEL_DIRECTORY_PID             ns-slapd's process id
#   QUORVEL_DIRECTORY_ADMIN_DN        cn=Directory Manager
#   QUORVEL_DIRECTORY_ADMIN_PASSWORD  its password, new for each instance
#
# How the instance is set up:
#  1. DIR/config/dse.ldif is the package's template-dse.ldif with its %KEY%
#     fields filled in as dscreate fills them (every path inside DIR, the port,
#     the root DN cn=Directory Manager and its password hashed with pwdhash,
#     ldapi off, the database home inside DIR/db as dscreate does in a
#     container), followed by template-suffix-db.ldif for one bdb backend
#     userRoot holding dc=example,dc=com. Added to cn=config:
#     nsslapd-listenhost 127.0.0.1, the audit log on (DIR/log/audit shows each
#     change as LDIF, so a test can see what a modify carried) and the access
#     log unbuffered; and caches of 32 MB instead of sizes tuned to the
#     machine's memory (nsslapd-cache-autosize 0, nsslapd-dbcachesize and the
#     backend's nsslapd-cachememsize), which would write some 100 MB of
#     database environment into every instance's folder. nsslapd-localuser is
#     the calling user: as root ns-slapd would otherwise switch to dirsrv,
#     which cannot enter DIR.
#  2. Schema: the package's /etc/dirsrv/schema (99user.ldif, empty) in
#     DIR/config/schema and its system schema; nothing added. 389-DS names
#     `mail` also `rfc822Mailbox`, does not return structuralObjectClass, lists
#     its backends' suffixes as namingContexts (no defaultNamingContext), has
#     no Permissive Modify (a critical one is refused with 12) and makes
#     `member` of groupOfNames optional, so a group may be emptied.
#  3. ns-slapd -D DIR/config -i DIR/run/slapd.pid runs as an ordinary process
#     with NOTIFY_SOCKET set, as systemd's unit runs it: it then stays in the
#     foreground and still writes its logs (with -d it would stay too, but its
#     error log would stay empty); start polls the root entry until it answers.
#  4. ds389.ldif is loaded as cn=Directory Manager with ldapmodify: an
#     equality index on departmentNumber (what the stored queries test; the
#     default indexes already cover cn, uid, mail, member, objectClass, ...),
#     the organisation (organisation.ldif.in, shared with the stock slapd;
#     the server hashes userPassword values as they are added), then the
#     accounts' rights as ACIs: every bound account reads all but
#     userPassword; uid=quorvel writes, adds and deletes groupOfNames below
#     ou=Groups (targetfilter); uid=blind may write member there, and is
#     denied reading it. Anonymous users see the root entry and the schema.
#  5. Limits: server-wide the defaults stay (nsslapd-sizelimit 2000,
#     nsslapd-lookthroughlimit 5000). A size limit holds per page of a paged
#     search, not per search: uid=limited's nsSizeLimit 10 refuses the first
#     page of 100 entries (Quorvel's page size) with sizeLimitExceeded, yet a
#     search in pages of 5 reads everything. The look-through limit counts
#     over a whole paged search (adminLimitExceeded past 5000 candidates, and
#     at once for a filter on an unindexed attribute in a bigger subtree), so
#     uid=quorvel gets nsPagedLookThroughLimit -1.
#  6. Adding entries costs about 5 ms each (some 150 a second): fine for the
#     organisation, slow for tens of thousands.
set -u
name=ds389.sh
servers=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$servers/common.sh"
NS_SLAPD=${NS_SLAPD:-/usr/sbin/ns-slapd}
PWDHASH=${PWDHASH:-/usr/bin/pwdhash}
TEMPLATES=${DS389_TEMPLATES:-/usr/share/dirsrv/data}
ADMIN_DN="cn=Directory Manager"

# Replaces each %KEY% of the file by its value, literally (values hold $ / +).
fill() { # file KEY=VALUE... -> stdout
  local file=$1; shift
  SUBST=$(printf '%s\n' "$@") awk '
    BEGIN { n = split(ENVIRON["SUBST"], kv, "\n")
            for (i = 1; i <= n; i++) { p = index(kv[i], "="); k[i] = "%" substr(kv[i], 1, p - 1) "%"; v[i] = substr(kv[i], p + 1) } }
    { for (i = 1; i <= n; i++) while ((j = index($0, k[i])) > 0) $0 = substr($0, 1, j - 1) v[i] substr($0, j + length(k[i]))
      print }' "$file"
}

make_instance() { # port -> the instance's folders and DIR/config/dse.ldif
  rm -rf "$dir"/{config,db,lock,run,log,bak,ldif,tmp}
  mkdir -p "$dir"/{config,db,lock,run,log,bak,ldif,tmp}
  cp -r /etc/dirsrv/schema "$dir/config/schema"
  cp /etc/dirsrv/config/slapd-collations.conf /etc/dirsrv/config/certmap.conf "$dir/config/"
  local hash
  hash=$("$PWDHASH" "$rootpw") || die "pwdhash failed"
  {
    fill "$TEMPLATES/template-dse.ldif" schema_dir="$dir/config/schema" lock_dir="$dir/lock" tmp_dir="$dir/tmp" \
      cert_dir="$dir/config" ldif_dir="$dir/ldif" bak_dir="$dir/bak" run_dir="$dir/run" inst_dir="$dir" \
      log_dir="$dir/log" fqdn=localhost ds_port="$1" ds_user="$(id -un)" rootdn="$ADMIN_DN" ds_passwd="$hash" \
      ds_suffix="$SUFFIX" config_dir="$dir/config" db_dir="$dir/db" db_home_dir="$dir/db" db_lib=bdb \
      ldapi_enabled=off ldapi="$dir/run/slapd.socket" ldapi_autobind=off |
      awk '{ print } /^nsslapd-port:/ { print "nsslapd-listenhost: 127.0.0.1"
             print "nsslapd-auditlog-logging-enabled: on"; print "nsslapd-accesslog-logbuffering: off" }
           /^nsslapd-backend-implement:/ { print "nsslapd-cache-autosize: 0"; print "nsslapd-dbcachesize: 33554432" }'
    echo
    fill "$TEMPLATES/template-suffix-db.ldif" ds_bename=userRoot ds_suffix="$SUFFIX" db_dir="$dir/db" |
      grep -v '^#' | awk '{ print } /^nsslapd-suffix:/ { print "nsslapd-cachememsize: 33554432" }'
  } | cat -s >"$dir/config/dse.ldif"  # ns-slapd stops at a second blank line
}

run_server() { # url -> 0 when ns-slapd answers on it
  rm -f "$dir"/lock/server/*  # a killed server's claim on the instance
  # Told it runs under systemd, ns-slapd does not detach; nobody listens there.
  NOTIFY_SOCKET=$dir/run/notify "$NS_SLAPD" -D "$dir/config" -i "$dir/run/slapd.pid" >>"$dir/log/console" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/slapd.pid.run"
  wait_until_answers "$1" "$pid" 3000 && return 0
  stop_pid "$pid" 50
  return 1
}

load() { # -> 0 when the instance holds the organisation and its rights
  local org=$dir/ldif/organisation.ldif
  if [ -n "$seed" ]; then sed "s/@SERVER@/$server/g" "$seed"; else organisation "$server"; fi >"$org"
  awk -v org="$org" '$0 == "@ORGANISATION@" { while ((getline line < org) > 0) print line; next } { print }' \
    "$servers/ds389.ldif" >"$dir/ldif/seed.ldif" || die "cannot write the instance's seed"
  ldapmodify -a -x -H "ldap://$server" -D "$ADMIN_DN" -w "$rootpw" -f "$dir/ldif/seed.ldif" >"$dir/log/seed" 2>&1 ||
    { cat "$dir/log/seed" >&2; stop_pid "$pid" 10; die "loading the organisation failed"; }
}

start_once() { # port -> 0 when ns-slapd answers
  server="127.0.0.1:$1"
  make_instance "$1"
  echo "ldap://$server" >"$dir/slapd.url"
  run_server "ldap://$server"
}

cmd_start() {
  dir="" port="" seed=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir=$2; shift ;;
      --port) port=$2; shift ;;
      --seed) seed=$2; shift ;;
      *) die "unknown option $1" ;;
    esac
    shift
  done
  [ -x "$NS_SLAPD" ] || die "389 Directory Server is not installed (package 389-ds-base)"
  [ -n "$dir" ] || dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-ds389.XXXXXX")
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
  rootpw=$(new_password)
  local tries=1
  [ -z "$port" ] && tries=4
  for _ in $(seq 1 "$tries"); do
    if start_once "${port:-$(free_port)}"; then
      load
      print_settings "$dir" "$server" "$pid" "$ADMIN_DN" "$rootpw"
      return 0
    fi
  done
  tail -n 30 "$dir/log/errors" >&2
  die "ns-slapd did not start (log: $dir/log/errors)"
}

cmd_resume() {
  dir=${1:-}
  [ -n "$dir" ] && [ -f "$dir/slapd.url" ] || die "resume: no stopped instance in '$dir'"
  run_server "$(cat "$dir/slapd.url")" || { tail -n 30 "$dir/log/errors" >&2; die "ns-slapd did not start again"; }
  echo "QUORVEL_DIRECTORY_PID=$pid"
}

cmd_stop() {
  local d=${1:-} keep=${2:-}
  [ -n "$d" ] && [ -d "$d" ] || die "stop: no instance folder given"
  # An orderly shutdown takes ns-slapd seconds; it is waited for only when
  # the instance is kept, so that it starts again without recovering.
  local ticks=10
  [ "$keep" = "--keep" ] && ticks=1500
  [ -f "$d/slapd.pid.run" ] && stop_pid "$(cat "$d/slapd.pid.run")" "$ticks"
  [ "$keep" = "--keep" ] || rm -rf "$d"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  resume) shift; cmd_resume "$@" ;;
  log) cat "${2:?log: no instance folder given}/log/${3:-access}" ;;
  *) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
