#!/bin/bash
# Starts each stock test directory named on the command line (slapd, ds389;
# default: both), checks with ldap-utils that it holds the organisation and
# grants the accounts what they are meant to have, and stops it. Prints how
# long each start took. Exit status 0 when every check passed.
set -u
servers=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export LDAPNOINIT=1
suffix="dc=example,dc=com"
people="ou=People,$suffix"
sales="cn=qvl-sales,ou=Groups,$suffix"
passed=0 failed=0

check() { # description command...
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1" >&2; fi
}

search() { # account base [ldapsearch arguments...] -> LDIF; $? is ldapsearch's
  local account=$1 base=$2; shift 2
  ldapsearch -x -H "$url" -D "uid=$account,ou=System,$suffix" -w "$account-pw" -LLL -o ldif-wrap=no \
    -b "$base" "$@" 2>/dev/null
}

modify() { # account < LDIF
  ldapmodify -x -H "$url" -D "uid=$1,ou=System,$suffix" -w "$1-pw" >/dev/null 2>&1
}

# The uids of the people, as the organisation file has them.
expected_people() {
  awk -v RS= -v people=",$people" 'index($0, people "\n") { match($0, /\nuid: [^\n]*/); print substr($0, RSTART + 6, RLENGTH - 6) }' \
    "$servers/organisation.ldif.in" | sort | xargs
}
same_people() {
  [ "$(search quorvel "$people" '(objectClass=inetOrgPerson)' uid | sed -n 's/^uid: //p' | sort | xargs)" = "$(expected_people)" ]
}
query_names_server() { search reader "$sales" -s base description | grep -qF "description: QVL=<LDAP://$server/$people>;"; }
members() { search "$1" "$sales" -s base member | grep -c '^member:'; }
blind_reads_no_member() { [ "$(members blind)" = 0 ] && [ "$(members quorvel)" -gt 0 ]; }
stale_member_kept() { search reader "cn=qvl-engineering,ou=Groups,$suffix" -s base member | grep -q "uid=former,$people"; }

# In pages of 100, as Quorvel asks: 389-DS holds a size limit per page.
limited_cut_at_ten() {
  local out status
  out=$(search limited "$suffix" -E pr=100/noprompt 1.1); status=$?
  [ "$status" = 4 ] && [ "$(grep -c '^dn' <<<"$out")" = 10 ]
}

write_member() { # account member-uid... -> replaces the members of qvl-sales
  local ldif="dn: $sales"$'\nchangetype: modify\nreplace: member\n' uid
  for uid in "${@:2}"; do ldif+="member: uid=$uid,$people"$'\n'; done
  modify "$1" <<<"$ldif-"
}
member_uids() { search reader "$sales" -s base member | sed -n 's/^member: uid=\([^,]*\),.*/\1/p' | sort | xargs; }

check_server() { # script
  local script=$servers/$1 env t0 t1
  t0=$(date +%s%N)
  env=$("$script" start) || { failed=$((failed + 1)); echo "FAIL: $1 did not start" >&2; return; }
  t1=$(date +%s%N)
  local dir server url
  dir=$(sed -n 's/^QUORVEL_DIRECTORY_DIR=//p' <<<"$env")
  server=$(sed -n 's/^QUORVEL_DIRECTORY_SERVER=//p' <<<"$env")
  url=$(sed -n 's/^QUORVEL_DIRECTORY_URL=//p' <<<"$env")
  echo "$1: started in $(( (t1 - t0) / 1000000 )) ms on $server"
  check "$1: the service account reads the people" same_people
  check "$1: stored queries name the server" query_names_server
  check "$1: a stale member is kept" stale_member_kept
  check "$1: blind reads no member" blind_reads_no_member
  check "$1: limited is cut at 10 entries on a paged search" limited_cut_at_ten
  check "$1: the service account writes member" write_member quorvel aadams jmuller
  check "$1: ... and it reads back" test "$(member_uids)" = "aadams jmuller"
  check "$1: blind writes member" write_member blind wchen
  check "$1: ... and it reads back" test "$(member_uids)" = "wchen"
  check "$1: the reader may not write member" eval '! write_member reader aadams'
  check "$1: ... and nothing changed" test "$(member_uids)" = "wchen"
  t0=$(date +%s%N)
  "$script" stop "$dir"
  t1=$(date +%s%N)
  echo "$1: stopped in $(( (t1 - t0) / 1000000 )) ms"
  check "$1: stop removes the folder" test ! -e "$dir"
  check "$1: stop ends the server" eval '! ldapsearch -x -H "$url" -b "" -s base -o nettimeout=1 1.1 >/dev/null 2>&1'
}

[ $# -gt 0 ] || set -- slapd ds389
for s in "$@"; do check_server "$s.sh"; done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
