#!/bin/bash
# Quorvel's demonstration against the reference directory: starts a private
# slapd seeded with the sample organisation, shows what is in it (containers,
# distribution lists with their stored queries, people), and stops it again.
#
#   scripts/demo.sh [BUILD_DIR]      (./setup.sh demo passes its build folder)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" 2>/dev/null && pwd || echo "${1:-$here/build}")
export LDAPNOINIT=1   # no local ldap.conf changes what the demo sees
export LC_ALL=C

command -v ldapsearch >/dev/null || { echo "demo: ldapsearch is missing (package ldap-utils)" >&2; exit 1; }
command -v jq >/dev/null || { echo "demo: jq is missing (package jq)" >&2; exit 1; }

# ---- the reference directory ------------------------------------------------
refdir_dir=""
stop_refdir() { if [ -n "$refdir_dir" ]; then "$here/refdir/refdir.sh" stop "$refdir_dir"; fi; }
trap stop_refdir EXIT

settings=$("$here/refdir/refdir.sh" start) || { echo "demo: the reference directory did not start" >&2; exit 1; }
while IFS='=' read -r key value; do
  case "$key" in
    QUORVEL_REFDIR_DIR) refdir_dir=$value ;;
    QUORVEL_REFDIR_URL) url=$value ;;
    QUORVEL_REFDIR_SERVER) server=$value ;;
  esac
done <<<"$settings"
org="o=Northwind Traders"

search() { # base filter attributes...
  local base=$1 filter=$2
  shift 2
  ldapsearch -x -H "$url" -LLL -o ldif-wrap=no -b "$base" "$filter" "$@"
}

# LDIF as tab-separated rows "dn, attribute, value", base64 values decoded.
ldif_rows() {
  local line name rest value dn=""
  while IFS= read -r line || [ -n "$line" ]; do
    [ -z "$line" ] && continue
    name=${line%%:*}
    rest=${line#*:}
    if [ "${rest:0:1}" = ":" ]; then
      value=$(printf '%s' "${rest#: }" | base64 -d 2>/dev/null || true)
    else
      value=${rest# }
    fi
    [ "$name" = dn ] && dn=$value
    printf '%s\t%s\t%s\n' "$dn" "$name" "$value"
  done
}

heading() { printf '\n== %s ==\n\n' "$1"; }

# ---- show the organisation ----------------------------------------------------
echo "Quorvel demo: reference directory at $url"
if [ -x "$build/quorvel" ]; then
  echo "Program: $("$build/quorvel" --version 2>/dev/null || echo "$build/quorvel")"
fi

heading "Containers (recipients directly in each, in brackets)"
people_parents=$(search "$org" "(|(objectClass=organizationalPerson)(objectClass=remote-Address))" 1.1 | ldif_rows |
  awk -F'\t' '$2 == "dn" { sub(/^[^,]*,/, "", $1); print tolower($1) }')
search "$org" "(|(objectClass=organization)(objectClass=organizationalUnit)(objectClass=Container))" 1.1 |
  ldif_rows | awk -F'\t' '$2 == "dn" { print $1 }' |
  awk -v parents="$people_parents" '
    BEGIN { n = split(parents, p, "\n"); for (i = 1; i <= n; i++) if (p[i] != "") count[p[i]]++ }
    { dn = $0; safe = dn; gsub(/\\,/, "\001", safe)
      k = split(safe, part, ","); key = ""
      for (i = k; i >= 1; i--) key = key tolower(part[i]) "\002"
      name = part[1]; sub(/^[^=]*=/, "", name); gsub("\001", ",", name)
      people = count[tolower(dn)] ? " [" count[tolower(dn)] "]" : ""
      printf "%s\t%d\t%s%s\n", key, k - 1, name, people }' |
  sort -t$'\t' -k1,1 |
  awk -F'\t' '{ indent = ""; for (i = 0; i < $2; i++) indent = indent "    "; print "  " indent $3 }'

heading "Distribution lists"
search "$org" "(objectClass=groupOfNames)" cn extension-attribute-15 Admin-Description member | ldif_rows |
  awk -F'\t' -v org=",$org" '
    function flush() {
      if (dn == "") return
      short = dn; sub(org "$", "", short)
      printf "  %s\n    entry:      %s\n", name, short
      if (definition != "") printf "    definition: %s\n", definition
      if (rbdl != "") printf "    RBDL query: %s\n", rbdl
      if (definition == "" && rbdl == "") printf "    definition: (none: an ordinary list)\n"
      printf "    members:    %d\n\n", members
    }
    $2 == "dn" { flush(); dn = $1; name = ""; definition = ""; rbdl = ""; members = 0; next }
    tolower($2) == "cn" && name == "" { name = $3 }
    tolower($2) == "extension-attribute-15" { definition = $3 }
    tolower($2) == "admin-description" && tolower(substr($3, 1, 5)) == "rbdl=" { rbdl = $3 }
    tolower($2) == "member" { members++ }
    END { flush() }'

heading "People and other recipients"
people=$(search "$org" "(objectClass=organizationalPerson)" 1.1 | grep -c '^dn' || true)
custom=$(search "$org" "(objectClass=remote-Address)" 1.1 | grep -c '^dn' || true)
lists=$(search "$org" "(objectClass=groupOfNames)" 1.1 | grep -c '^dn' || true)
printf '  %s people (organizationalPerson)\n  %s custom recipients (remote-Address)\n  %s distribution lists\n' \
  "$people" "$custom" "$lists"

# ---- the main job: one unattended pass over the distribution lists ----------
memberships() { # "alias: n members" for every DL of the container
  search "cn=Distribution Lists,ou=Amsterdam,$org" "(objectClass=groupOfNames)" uid member | ldif_rows |
    awk -F'\t' '$2 == "dn" { if (uid != "") printf "  %-26s %3d members\n", uid, n; uid = ""; n = 0 }
                tolower($2) == "uid" { uid = $3 }  tolower($2) == "member" { n++ }
                END { if (uid != "") printf "  %-26s %3d members\n", uid, n }' | sort
}
if [ ! -x "$build/quorvel" ]; then
  echo "demo: $build/quorvel is not built; run ./setup.sh first" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-demo.XXXXXX")
trap 'stop_refdir; rm -rf "$work"' EXIT
target="LDAP://$server/cn=Distribution Lists,ou=Amsterdam,$org"
cat >"$work/demo.ini" <<INI
; An unattended run over every Quorvel DL of one container.
[General]
Target=$target
LoggingLevel=1
[Authentication]
User=writer
Domain=CORP
Password=writer-pw
INI
chmod 600 "$work/demo.ini"

heading "Memberships before the pass"
memberships
heading "quorvel $work/demo.ini"
echo "  The sample's qvl-broken holds a query that cannot be read, on purpose: the pass"
echo "  reports it on standard error and in the log, goes on, and ends with exit status 1."
echo
set +e
QUORVEL_EVENT_LOG="$work/events.jsonl" "$build/quorvel" "$work/demo.ini"
status=$?
set -e
echo "  exit status $status (0: every DL processed; 1: at least one DL failed, see the entries)"
heading "Event-log entries of the pass (type: 4 information, 2 warning, 1 error)"
if [ -s "$work/events.jsonl" ]; then
  # One entry per paragraph; the message's CR LF line breaks become indented lines.
  jq -r '"  \(.time) type \(.type) id \(.event_id)\n    \(.message | gsub("\r\n"; "\n    "))" +
         (if .added then "\n    (\(.added | length) added, \(.removed | length) removed)" else "" end) + "\n"' \
    "$work/events.jsonl"
fi
heading "Memberships after the pass"
memberships

printf '\nThe reference directory (%s) is stopped now.\n' "$server"
