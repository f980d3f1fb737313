#!/bin/bash
# The installed systemd units pass "systemd-analyze verify": the service
# and timer of one profile, with the service's program pointed at the staged
# one (verify checks that the program exists) and the manual page found in
# the staged root (verify checks Documentation=).
#   check-units.sh STAGE
set -uo pipefail
stage=$1
units=$stage/usr/lib/systemd/system

analyze=$(command -v systemd-analyze) || { echo "SKIP: systemd-analyze is not installed (package systemd)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Can verify run here at all? A unit that is surely right must pass.
mkdir "$work/probe"
printf '[Unit]\nDescription=probe\n[Service]\nType=oneshot\nExecStart=/bin/true\n' >"$work/probe/probe.service"
if ! probe=$(cd "$work/probe" && "$analyze" verify --man=no ./probe.service 2>&1) || [ -n "$probe" ]; then
  echo "SKIP: systemd-analyze verify cannot run in this sandbox: $probe"
  exit 77
fi

mkdir "$work/units"
sed "s#^ExecStart=/usr/bin/quorvel #ExecStart=$stage/usr/bin/quorvel #" "$units/quorvel@.service" \
  >"$work/units/quorvel@.service"
cp "$units/quorvel@.timer" "$work/units/"
grep -q "^ExecStart=$stage/usr/bin/quorvel " "$work/units/quorvel@.service" ||
  { echo "FAIL: quorvel@.service has no ExecStart=/usr/bin/quorvel" >&2; exit 1; }

# Every finding of verify is printed on standard error, also when it exits 0.
cd "$work/units"
output=$(MANPATH="$stage/usr/share/man" "$analyze" verify ./quorvel@nightly.service ./quorvel@nightly.timer 2>&1)
status=$?
if [ "$status" -ne 0 ] || [ -n "$output" ]; then
  echo "FAIL: systemd-analyze verify (status $status):" >&2
  echo "$output" >&2
  exit 1
fi

# What the scheduling relies on.
service=$work/units/quorvel@.service timer=$work/units/quorvel@.timer
failures=0
expect() { grep -qx "$2" "$1" || { echo "FAIL: $(basename "$1") lacks '$2'" >&2; failures=$((failures + 1)); }; }
expect "$service" 'Type=oneshot'
expect "$service" 'LoadCredential=%i.ini:/etc/quorvel/%i.ini'
expect "$service" 'NoNewPrivileges=yes'
expect "$service" 'ProtectSystem=strict'
expect "$service" 'PrivateTmp=yes'
expect "$service" 'DynamicUser=yes'
expect "$service" 'RuntimeDirectory=quorvel'
expect "$service" 'Environment=XDG_RUNTIME_DIR=%t/quorvel'
expect "$timer" 'Persistent=true'
expect "$timer" 'WantedBy=timers.target'
# The schedule: a pass every 15 minutes.
calendar=$(sed -n 's/^OnCalendar=//p' "$timer")
mapfile -t elapses < <(TZ=UTC "$analyze" calendar --iterations=3 "$calendar" 2>/dev/null |
                       sed -n 's/^ *\(Next elapse\|Iter. #[0-9]*\): //p')
if [ "${#elapses[@]}" -ne 3 ]; then
  echo "FAIL: OnCalendar=$calendar does not parse" >&2; failures=$((failures + 1))
else
  for i in 1 2; do
    gap=$(( $(date -d "${elapses[$i]}" +%s) - $(date -d "${elapses[$((i - 1))]}" +%s) ))
    [ "$gap" -eq 900 ] || { echo "FAIL: OnCalendar=$calendar runs $gap s apart, not 900" >&2; failures=$((failures + 1)); }
  done
fi
[ "$failures" -eq 0 ] || exit 1
echo "quorvel@.service and quorvel@.timer pass systemd-analyze verify"
