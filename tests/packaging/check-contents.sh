#!/bin/bash
# The staged install: every file in its place with a sane mode, nothing
# outside /usr, and the installed program runs on what the system provides.
#   check-contents.sh STAGE SOURCE_DIR VERSION CONSOLE(0|1)
set -uo pipefail
stage=$1 src=$2 version=$3 console=$4
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

expect_file() { # path mode
  local file=$stage$1 mode
  [ -f "$file" ] || { problem "$1 is missing"; return; }
  mode=$(stat -c %a "$file")
  [ "$mode" = "$2" ] || problem "$1 has mode $mode, expected $2"
}
same_as_source() { # installed source
  cmp -s "$stage$1" "$src/$2" || problem "$1 differs from $2"
}

[ -d "$stage/usr" ] || { echo "FAIL: nothing staged in $stage" >&2; exit 1; }

expect_file /usr/bin/quorvel 755
expect_file /usr/share/man/man1/quorvel.1.gz 644
expect_file /usr/share/doc/quorvel/README.md 644
expect_file /usr/share/doc/quorvel/examples/profile.ini 644
expect_file /usr/share/quorvel/quorvel.schema 644
expect_file /usr/share/quorvel/README 644
expect_file /usr/lib/systemd/system/quorvel@.service 644
expect_file /usr/lib/systemd/system/quorvel@.timer 644
expect_file /usr/lib/systemd/system/quorvel-follow@.service 644
expect_file /usr/lib/systemd/catalog/quorvel.catalog 644
if [ "$console" = 1 ]; then
  expect_file /usr/share/applications/quorvel.desktop 644
  if command -v desktop-file-validate >/dev/null; then
    findings=$(desktop-file-validate "$stage/usr/share/applications/quorvel.desktop" 2>&1)
    [ -z "$findings" ] || problem "quorvel.desktop: $findings"
  fi
  grep -qx 'Exec=quorvel' "$stage/usr/share/applications/quorvel.desktop" 2>/dev/null ||
    problem "quorvel.desktop does not start the console (Exec=quorvel)"
else
  [ ! -e "$stage/usr/share/applications/quorvel.desktop" ] || problem "a menu entry for a program without console"
fi

same_as_source /usr/share/doc/quorvel/README.md README.md
same_as_source /usr/share/quorvel/quorvel.schema refdir/quorvel.schema
same_as_source /usr/share/quorvel/README packaging/README.schema
same_as_source /usr/lib/systemd/system/quorvel@.timer packaging/quorvel@.timer
same_as_source /usr/lib/systemd/catalog/quorvel.catalog packaging/quorvel.catalog
# Every page of docs/ is installed as it is (the manual page goes to man1).
while IFS= read -r -d '' page; do
  rel=${page#"$src/docs/"}
  [ "$rel" = quorvel.1 ] && continue
  same_as_source "/usr/share/doc/quorvel/$rel" "docs/$rel"
done < <(find "$src/docs" -type f -print0)
gzip -dc "$stage/usr/share/man/man1/quorvel.1.gz" | cmp -s - "$src/docs/quorvel.1" ||
  problem "the installed manual page differs from docs/quorvel.1"

# The service runs the installed program with the profile systemd hands it.
grep -qx 'ExecStart=/usr/bin/quorvel %d/%i.ini' "$stage/usr/lib/systemd/system/quorvel@.service" ||
  problem "quorvel@.service does not run /usr/bin/quorvel: $(grep ExecStart "$stage/usr/lib/systemd/system/quorvel@.service")"
grep -qx 'ExecStart=/usr/bin/quorvel --follow %d/%i.ini' "$stage/usr/lib/systemd/system/quorvel-follow@.service" ||
  problem "quorvel-follow@.service does not follow with /usr/bin/quorvel: $(grep ExecStart "$stage/usr/lib/systemd/system/quorvel-follow@.service")"

# Nothing outside /usr; no file writable by others or setuid; folders 755.
outside=$(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || problem "installed outside /usr: $outside"
loose=$(find "$stage" ! -type l \( -perm -o+w -o -perm -g+w -o -perm /6000 \))
[ -z "$loose" ] || problem "writable by others or setuid: $loose"
odd_dirs=$(find "$stage" -type d ! -perm 755)
[ -z "$odd_dirs" ] || problem "folders not 755: $odd_dirs"

# The program finds every library it needs on this system.
missing=$(ldd "$stage/usr/bin/quorvel" | grep "not found")
[ -z "$missing" ] || problem "libraries not found: $missing"

# It runs: --version, --help, and one unattended pass against a server that
# refuses connections (exit status 1 and a warning entry), a missing profile (2).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { env -i PATH=/usr/bin:/bin LDAPNOINIT=1 XDG_RUNTIME_DIR="$work" QUORVEL_EVENT_LOG="$work/events.jsonl" \
          "$stage/usr/bin/quorvel" "$@"; }
out=$(run --version)
[ "$out" = "quorvel $version" ] || problem "quorvel --version printed '$out', expected 'quorvel $version'"
help=$(run --help)
grep -q '^Usage: quorvel \[PROFILE\]' <<<"$help" || problem "quorvel --help prints no usage"
for key in Target LoggingLevel Field Prefix User Password Domain Admin; do
  grep -q "$key=" <<<"$help" || problem "quorvel --help does not name the profile key $key"
done
for status in $(sed -n 's/^inline constexpr int Exit[A-Za-z]* = \([0-9]*\);.*/\1/p' "$src/core/Main.h"); do
  grep -qE "(: |; )$status [a-z]" <<<"$help" || problem "quorvel --help does not explain exit status $status"
done

printf '[General]\nTarget=LDAP://127.0.0.1:1/o=Nowhere\n' >"$work/refused.ini"
chmod 600 "$work/refused.ini"
run "$work/refused.ini" 2>"$work/stderr"
status=$?
[ "$status" = 1 ] || problem "a pass against a refusing server ended with $status, expected 1: $(cat "$work/stderr")"
grep -q '"type":2,"category":1,"event_id":4096,"message":"Could not find object specified \[LDAP://127.0.0.1:1/o=Nowhere\]"' \
  "$work/events.jsonl" 2>/dev/null || problem "no warning entry for the refusing server: $(cat "$work/events.jsonl" 2>&1)"
run "$work/absent.ini" 2>/dev/null
status=$?
[ "$status" = 2 ] || problem "a missing profile ended with $status, expected 2"

if [ "$failures" -gt 0 ]; then
  echo "$failures problem(s) in the staged install $stage" >&2
  exit 1
fi
echo "staged install complete: $(find "$stage" -type f | wc -l) files"
