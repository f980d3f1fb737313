#!/bin/bash
# The README's example outputs, made by running quorvel against the reference
# directory: each block between "<!-- readme-examples: NAME -->" and
# "<!-- /readme-examples -->" in README.md is the output of step NAME below.
# Ports, times and durations are written as fixed values, so that the
# examples stay the same from run to run.
#
#   scripts/readme-examples.sh [--check] [BUILD_DIR]   differences from README.md; exit 1 when any
#   scripts/readme-examples.sh --update [BUILD_DIR]    rewrites README.md's example blocks
#
# ctest runs the check, so the README cannot drift from what the program does.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mode=check
case "${1:-}" in
  --check) shift ;;
  --update) mode=update; shift ;;
esac
build=$(cd "${1:-$here/build}" && pwd)
quorvel_bin=$build/quorvel
readme=$here/README.md
export LDAPNOINIT=1 LC_ALL=C TZ=UTC
for tool in ldapsearch ldapmodify jq; do
  command -v "$tool" >/dev/null || { echo "readme-examples: $tool is missing" >&2; exit 1; }
done
[ -x "$quorvel_bin" ] || { echo "readme-examples: $quorvel_bin is not built" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-readme.XXXXXX")
refdir_dir=""
cleanup() {
  [ -n "$refdir_dir" ] && "$here/refdir/refdir.sh" stop "$refdir_dir" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
while IFS='=' read -r key value; do
  case "$key" in
    QUORVEL_REFDIR_DIR) refdir_dir=$value ;;
    QUORVEL_REFDIR_URL) url=$value ;;
    QUORVEL_REFDIR_SERVER) server=$value ;;
  esac
done < <("$here/refdir/refdir.sh" start)
export XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config
cd "$work"
mkdir -p blocks

org="o=Northwind Traders"
sales="cn=Sales,cn=Recipients,ou=Amsterdam,$org"
modify() { ldapmodify -x -H "$url" -D "dc=CORP,cn=writer" -w writer-pw >/dev/null; }
department() { # DN DEPARTMENT
  printf 'dn: %s\nchangetype: modify\nreplace: department\ndepartment: %s\n' "$1" "$2" | modify
}
quorvel() { "$quorvel_bin" "$@"; }

# Writes the block NAME from the commands given as text, run here, each shown
# after "$ " and followed by what it printed (standard error included).
block() { # NAME 'command' ['command' ...]
  local name=$1 command
  shift
  for command in "$@"; do
    printf '$ %s\n' "$command"
    eval "$command" 2>&1 || true
  done >"blocks/$name"
}

# The profile the README shows, against this directory; LoggingLevel 1 so the
# summaries carry the names added and removed.
profile() { # [SAFEGUARDS]
  cat >nightly.ini <<INI
; nightly.ini
[General]
Target=LDAP://$server/cn=Distribution Lists,ou=Amsterdam,$org
LoggingLevel=1

[Authentication]
User=writer
Password=writer-pw
Domain=CORP
Admin=False
${1:-}
INI
  chmod 600 nightly.ini
}

# ---- the steps -----------------------------------------------------------------
profile
quorvel ./nightly.ini >/dev/null 2>&1 || true   # the memberships as a pass leaves them

# A pass that goes wrong: standard error names each DL and the count.
block failed-pass 'quorvel ./nightly.ini; echo "exit $?"'
sed -i 's/^Password=writer-pw/Password=wrong/' nightly.ini
block wrong-password 'quorvel ./nightly.ini; echo "exit $?"'
profile

# Typos in the profile.
profile $'[Safegaurds]\nMaxRemovePercent=20'
sed -i 's/^LoggingLevel=1/LogLevel=1/' nightly.ini
block typo-warning 'quorvel ./nightly.ini; echo "exit $?"'
profile $'[Safeguards]\nMaxRemovePercnt=20'
block typo-safeguard 'quorvel ./nightly.ini; echo "exit $?"'
profile

# One person leaves Sales, one joins: the preview.
department "cn=fdubois,cn=Europe,$sales" Marketing
printf 'dn: cn=Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m,%s\nchangetype: add\nobjectClass: organizationalPerson\ncn: Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m\nsn: \xc3\x85ngstr\xc3\xb6m\ndepartment: Sales\n' "$sales" | modify
block dry-run 'quorvel --dry-run ./nightly.ini 2>/dev/null'
quorvel --dry-run ./nightly.ini >change.ldif 2>/dev/null || true
{
  echo '$ quorvel --dry-run ./nightly.ini >change.ldif'
  echo "\$ ldapmodify -x -H ldap://$server -D \"dc=CORP,cn=writer\" -W -f change.ldif"
  ldapmodify -x -H "$url" -D "dc=CORP,cn=writer" -w writer-pw -f change.ldif
} >blocks/ldapmodify 2>&1
block json 'quorvel -n --json ./nightly.ini 2>/dev/null | grep qvl-sales'

# Five of the Sales people move to Finance: a safeguard holds the change back.
for person in tdevries uvermeer vvandam wbrouwer xdegroot; do department "cn=$person,$sales" Finance; done
profile $'[Safeguards]\nMaxRemovePercent=20\nAllowEmpty=false'
export QUORVEL_METRICS_FILE=$work/quorvel.prom
block safeguard-pass 'QUORVEL_EVENT_LOG=events.jsonl quorvel ./nightly.ini; echo "exit $?"' \
  "grep '\"type\":1' events.jsonl"
cp quorvel.prom blocks/metrics-refused
rm -f events.jsonl
block force "QUORVEL_EVENT_LOG=events.jsonl quorvel --force='LDAP://$server/cn=qvl-sales,cn=Distribution Lists,ou=Amsterdam,$org' ./nightly.ini; echo \"exit \$?\"" \
  "grep -E '^quorvel_(pass_success|dls_|members_)' quorvel.prom"
block summary-entry "grep 'DL Completed.*cn=qvl-sales' events.jsonl"
unset QUORVEL_METRICS_FILE

# ---- the blocks into the README ------------------------------------------------
# Fixed values for what changes from run to run.
normalise() {
  sed -E -e "s#$work/?#./#g" -e "s#(127\\.0\\.0\\.1|localhost):[0-9]+#ldap01.example.com:389#g" \
    -e 's#"time":"[^"]*"#"time":"2026-12-06T20:45:24+00:00"#g' \
    -e 's#Time to process: [0-9:]+#Time to process: 0:00:00#g' \
    -e 's#^(quorvel_pass_duration_seconds[^ ]*) .*#\1 0.033#' \
    -e 's#^(quorvel_pass_end_time_seconds[^ ]*) .*#\1 1796589924.772#'
}
for file in blocks/*; do printf '%s\n' "$(normalise <"$file")" >"$file"; done  # no blank lines at the end

awk -v blocks="$work/blocks" '
  match($0, /^<!-- readme-examples: [a-z-]+ -->$/) {
    print
    name = $0; sub(/^<!-- readme-examples: /, "", name); sub(/ -->$/, "", name)
    file = blocks "/" name
    if ((getline line < file) <= 0) { print "readme-examples: no step named " name > "/dev/stderr"; failed = 1 }
    else { print ""; do print (line == "" ? "" : "    " line); while ((getline line < file) > 0); print "" }
    close(file)
    skipping = 1
    next
  }
  /^<!-- \/readme-examples -->$/ { skipping = 0 }
  !skipping { print }
  END { exit failed }' "$readme" >"$work/README.md"

if [ "$mode" = update ]; then
  cp "$work/README.md" "$readme"
  echo "readme-examples: README.md updated"
elif ! diff -u "$readme" "$work/README.md"; then
  echo "readme-examples: README.md differs from what the program does now; run scripts/readme-examples.sh --update" >&2
  exit 1
fi
