#!/bin/bash
# The installed systemd units pass "systemd-analyze verify": the service,
# timer and follow service of one profile, with the services' program pointed
# at the staged one (verify checks that the program exists) and the manual page found in
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
sed "s#^ExecStart=/usr/bin/quorvel #ExecStart=$stage/usr/bin/quorvel #" "$units/quorvel-follow@.service" \
  >"$work/units/quorvel-follow@.service"
for unit in quorvel@.service quorvel-follow@.service; do
  grep -q "^ExecStart=$stage/usr/bin/quorvel " "$work/units/$unit" ||
    { echo "FAIL: $unit has no ExecStart=/usr/bin/quorvel" >&2; exit 1; }
done

# Every finding of verify is printed on standard error, also when it exits 0.
cd "$work/units"
output=$(MANPATH="$stage/usr/share/man" "$analyze" verify ./quorvel@nightly.service ./quorvel@nightly.timer \
  ./quorvel-follow@nightly.service 2>&1)
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
expect "$service" 'StateDirectory=quorvel'
expect "$timer" 'Persistent=true'
# Following: one long-lived process per profile that systemd starts again,
# sharing the passes' state folder, never alongside the profile's timer.
follow=$work/units/quorvel-follow@.service
expect "$follow" 'Type=simple'
expect "$follow" 'Restart=always'
expect "$follow" "ExecStart=$stage/usr/bin/quorvel --follow %d/%i.ini"
expect "$follow" 'LoadCredential=%i.ini:/etc/quorvel/%i.ini'
expect "$follow" 'StateDirectory=quorvel'
expect "$follow" 'DynamicUser=yes'
expect "$follow" 'User=quorvel'
expect "$follow" 'NoNewPrivileges=yes'
expect "$follow" 'ProtectSystem=strict'
expect "$follow" 'Conflicts=quorvel@%i.service quorvel@%i.timer'
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
echo "quorvel@.service, quorvel@.timer and quorvel-follow@.service pass systemd-analyze verify"
