#!/bin/bash
# Start and stop the stock-OpenLDAP test directory: Debian's slapd with only
# its standard schemas, run as a private, ordinary process on a free loopback
# port in a temporary folder (no root, no system service).
#
#   slapd.sh start [options]   prints the instance's settings as KEY=VALUE
#   slapd.sh stop DIR [--keep] stops the instance of DIR and removes DIR
#   slapd.sh resume DIR        starts a stopped (--keep) instance again on its
#                              data and port; prints QUORVEL_DIRECTORY_PID
#   slapd.sh log DIR           prints the instance's slapd log
#
# start options:
#   --dir DIR          folder of the instance (default: a new mktemp folder)
#   --port N           listen on N instead of a free port
#   --seed FILE        LDIF of the organisation (default: organisation.ldif.in);
#                      @SERVER@ in it becomes the instance's host:port
#   --db-conf FILE     lines added to the database section (overlays, limits)
#   --global-conf FILE lines added to the global section (modules)
#
# The settings printed by start:
#   QUORVEL_DIRECTORY_DIR             the instance folder
#   QUORVEL_DIRECTORY_SERVER          host:port, as an ADsPath names the server
#   QUORVEL_DIRECTORY_URL             ldap://host:port
#   QUORVEL_DIRECTORY_PID             slapd's process id
#   QUORVEL_DIRECTORY_ADMIN_DN        the database's rootdn (cn=admin,dc=example,dc=com)
#   QUORVEL_DIRECTORY_ADMIN_PASSWORD  its password, new for each instance
#
# How the directory is set up (slapd.conf.in, organisation.ldif.in):
#  1. Schemas: core, cosine, nis and inetorgperson from /etc/ldap/schema, as
#     Debian's package loads them; no ppolicy, memberof or other overlay.
#  2. One mdb database, suffix dc=example,dc=com, rootdn cn=admin; Debian's
#     indexes (objectClass; cn, uid; uidNumber, gidNumber; member, memberUid)
#     and departmentNumber, the attribute the stored queries test. The global
#     size limit stays at slapd's default of 500 entries.
#  3. The organisation is loaded with slapadd before slapd starts: people as
#     inetOrgPerson under ou=People, groupOfNames under ou=Groups and
#     ou=Lists,ou=Groups, the accounts under ou=System.
#  4. Access (slapd.conf.in): the root entry and cn=Subschema for everybody;
#     userPassword only to bind; uid=quorvel writes ou=Groups (member,
#     description, new and deleted groupOfNames: `children` of the parent and
#     the new entry); uid=blind has `=w` on member of groups (write, no read);
#     every bound account reads the rest; anonymous reads nothing else.
#  5. Limits: slapd's default size limit of 500 holds paged searches too, so
#     uid=quorvel gets `size.prtotal=unlimited` (its searches are paged);
#     uid=limited gets `size=10 size.pr=unlimited size.prtotal=10`, so a paged
#     search stops after 10 entries in all, whatever its page size.
#  6. slapd runs in the foreground (-d) as the calling user, logging at the
#     stats level to DIR/slapd.log; start polls the root entry until it answers.
set -u
name=slapd.sh
servers=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$servers/common.sh"
SLAPD=${SLAPD:-$( [ -x /usr/sbin/slapd ] && echo /usr/sbin/slapd || command -v slapd )}
SLAPADD=${SLAPADD:-$( [ -x /usr/sbin/slapadd ] && echo /usr/sbin/slapadd || command -v slapadd )}
ADMIN_DN="cn=admin,$SUFFIX"

fill_template() { # -> DIR/slapd.conf
  local global="" db=""
  [ -n "$global_conf" ] && global=$(cat "$global_conf")
  [ -n "$db_conf" ] && db=$(cat "$db_conf")
  awk -v rundir="$dir" -v global="$global" -v db="$db" -v pw="$rootpw" '
    { gsub(/@RUNDIR@/, rundir); gsub(/@ROOTPW@/, pw)
      if ($0 == "@GLOBAL@") { print global; next }
      if ($0 == "@DATABASE@") { print db; next }
      print }' "$servers/slapd.conf.in" >"$dir/slapd.conf"
}

run_slapd() { # url -> 0 when slapd answers on it
  "$SLAPD" -f "$dir/slapd.conf" -h "$1/" -d "${QUORVEL_SLAPD_LOGLEVEL:-stats}" >>"$dir/slapd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/slapd.pid.run"
  wait_until_answers "$1" "$pid" && return 0
  stop_pid "$pid" 50
  return 1
}

start_once() { # port -> 0 when slapd answers
  server="127.0.0.1:$1"
  rm -rf "$dir/db" && mkdir -p "$dir/db"
  fill_template
  if [ -n "$seed" ]; then sed "s/@SERVER@/$server/g" "$seed"; else organisation "$server"; fi >"$dir/seed.ldif"
  "$SLAPADD" -q -f "$dir/slapd.conf" -b "$SUFFIX" -l "$dir/seed.ldif" >"$dir/slapadd.log" 2>&1 ||
    { cat "$dir/slapadd.log" >&2; die "slapadd of the organisation failed"; }
  echo "ldap://$server" >"$dir/slapd.url"
  run_slapd "ldap://$server"
}

cmd_start() {
  dir="" port="" seed="" db_conf="" global_conf=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --dir) dir=$2; shift ;;
      --port) port=$2; shift ;;
      --seed) seed=$2; shift ;;
      --db-conf) db_conf=$2; shift ;;
      --global-conf) global_conf=$2; shift ;;
      *) die "unknown option $1" ;;
    esac
    shift
  done
  [ -x "$SLAPD" ] || die "slapd is not installed (package slapd)"
  [ -n "$dir" ] || dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-slapd.XXXXXX")
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
  rootpw=$(new_password)
  local tries=1
  [ -z "$port" ] && tries=8
  for _ in $(seq 1 "$tries"); do
    if start_once "${port:-$(free_port)}"; then
      print_settings "$dir" "$server" "$pid" "$ADMIN_DN" "$rootpw"
      return 0
    fi
  done
  tail -n 30 "$dir/slapd.log" >&2
  die "slapd did not start (log: $dir/slapd.log)"
}

cmd_resume() {
  dir=${1:-}
  [ -n "$dir" ] && [ -f "$dir/slapd.url" ] || die "resume: no stopped instance in '$dir'"
  run_slapd "$(cat "$dir/slapd.url")" || { tail -n 30 "$dir/slapd.log" >&2; die "slapd did not start again"; }
  echo "QUORVEL_DIRECTORY_PID=$pid"
}

cmd_stop() {
  local d=${1:-} keep=${2:-}
  [ -n "$d" ] && [ -d "$d" ] || die "stop: no instance folder given"
  # slapd takes seconds for an orderly shutdown; its mdb data is crash-safe.
  [ -f "$d/slapd.pid.run" ] && stop_pid "$(cat "$d/slapd.pid.run")" 10
  [ "$keep" = "--keep" ] || rm -rf "$d"
}

case "${1:-}" in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  resume) shift; cmd_resume "$@" ;;
  log) cat "${2:?log: no instance folder given}/slapd.log" ;;
  *) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
