#!/bin/bash
# The entries reach a real systemd journal with a MESSAGE_ID for each kind,
# and the installed catalog explains each of them in "journalctl -x".
#
# A private journald runs in a mount namespace of its own, over a private
# /run (where its socket is), so the host's journal, catalog and /run are
# never touched and parallel tests are not disturbed.
#   check-journal.sh STAGE EVENT_WRITER
set -uo pipefail
stage=$1 writer=$2
journald=/lib/systemd/systemd-journald
catalog=$stage/usr/lib/systemd/catalog/quorvel.catalog

if [ "${QUORVEL_JOURNAL_INSIDE:-}" != 1 ]; then
  [ -x "$journald" ] || { echo "SKIP: $journald is not installed (package systemd)"; exit 77; }
  command -v unshare >/dev/null || { echo "SKIP: unshare is not installed"; exit 77; }
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIP: no mount namespace can be made here (needs root or CAP_SYS_ADMIN)"
    exit 77
  fi
  [ -f "$catalog" ] || { echo "FAIL: $catalog is not installed" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  QUORVEL_JOURNAL_INSIDE=1 QUORVEL_JOURNAL_WORK=$work unshare -m --propagation private bash "$0" "$@"
  exit $?
fi

# ---- inside the namespace ------------------------------------------------------
work=$QUORVEL_JOURNAL_WORK
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mount -t tmpfs tmpfs /run || exit 1
for folder in /var/log/journal /var/lib/systemd/catalog; do
  if [ -d "$folder" ]; then mount -t tmpfs tmpfs "$folder" || exit 1; fi
done
mkdir -p /run/systemd/journal
"$journald" >"$work/journald.log" 2>&1 &
journald_pid=$!
trap 'kill "$journald_pid" 2>/dev/null' EXIT  # never left running, whatever fails
for _ in $(seq 100); do
  [ -S /run/systemd/journal/socket ] && break
  sleep 0.05
done
[ -S /run/systemd/journal/socket ] || { echo "FAIL: journald did not start: $(cat "$work/journald.log")" >&2; exit 1; }

# One entry of each kind the program writes, and one of a kind it does not.
"$writer" 4 4096 "kind information"
"$writer" 2 4096 "kind warning"
"$writer" 0 4096 "kind success"
"$writer" 1 3221229569 "kind engine error"
"$writer" 1 4096 "kind unknown"
# The installed program itself: a pass against a server that refuses connections.
printf '[General]\nTarget=LDAP://127.0.0.1:1/o=Nowhere\n' >"$work/refused.ini"
chmod 600 "$work/refused.ini"
env -u QUORVEL_EVENT_LOG LDAPNOINIT=1 XDG_RUNTIME_DIR="$work" "$stage/usr/bin/quorvel" "$work/refused.ini" 2>/dev/null
kill "$journald_pid"
wait "$journald_pid"

# MESSAGE<TAB>MESSAGE_ID<TAB>QUORVEL_EVENT_ID<TAB>PRIORITY of every entry of Quorvel.
journalctl -D /run/log/journal -t Quorvel -o export --no-pager >"$work/export" 2>"$work/journalctl.err" ||
  { echo "FAIL: journalctl: $(cat "$work/journalctl.err")" >&2; exit 1; }
awk -F= -v OFS='\t' '
  /^$/ { if (msg != "") print msg, id, ev, prio; msg = id = ev = prio = ""; next }
  $1 == "MESSAGE" { msg = substr($0, 9) }
  $1 == "MESSAGE_ID" { id = $2 }
  $1 == "QUORVEL_EVENT_ID" { ev = $2 }
  $1 == "PRIORITY" { prio = $2 }
  END { if (msg != "") print msg, id, ev, prio }' "$work/export" >"$work/entries"

expect_entry() { # message message_id event_id priority
  local line
  line=$(grep -F -m1 "$1"$'\t' "$work/entries")
  [ -n "$line" ] || { problem "no journal entry '$1'"; return; }
  [ "$line" = "$1"$'\t'"$2"$'\t'"$3"$'\t'"$4" ] ||
    problem "entry '$1': got MESSAGE_ID, QUORVEL_EVENT_ID, PRIORITY '${line#*$'\t'}', expected '$2 $3 $4'"
}
info=87ccace111d64388b182b6fce93d1547
warning=6a9be970ce8d4bf9b2dae4cf1f5ed154
success=33789440ad8d46afb6ab7a85620010c1
engine=991ff98532ce40c6a1654b09da5c59c2
expect_entry "kind information" $info 4096 6
expect_entry "kind warning" $warning 4096 4
expect_entry "kind success" $success 4096 5
expect_entry "kind engine error" $engine 3221229569 3
expect_entry "kind unknown" "" 4096 3
expect_entry "Could not find object specified [LDAP://127.0.0.1:1/o=Nowhere]" $warning 4096 4
grep -q "^QUORVEL_REASON=Can't contact LDAP server" "$work/export" ||
  problem "the entry of the refused pass does not carry QUORVEL_REASON"

# The catalog: it compiles, holds exactly these IDs, and -x shows each text.
mkdir -p "$work/root/usr/lib/systemd/catalog"
cp "$catalog" "$work/root/usr/lib/systemd/catalog/"
errors=$(journalctl --root="$work/root" --update-catalog 2>&1)
[ -z "$errors" ] || problem "the catalog does not compile cleanly: $errors"
listed=$(journalctl --root="$work/root" --list-catalog 2>/dev/null | awk '{ print $1 }' | sort | tr '\n' ' ')
wanted=$(printf '%s\n' $info $warning $success $engine | sort | tr '\n' ' ')
[ "$listed" = "$wanted" ] || problem "the catalog lists '$listed', expected '$wanted'"
if [ -d /var/lib/systemd/catalog ]; then
  cp "$work/root/var/lib/systemd/catalog/database" /var/lib/systemd/catalog/database
  journalctl -D /run/log/journal -t Quorvel -x --no-pager -o short >"$work/explained" 2>&1
  explained() { # message subject
    grep -A1 -E "\]: $1\$" "$work/explained" | grep -q -F "Subject: $2" ||
      problem "journalctl -x does not explain '$1' with '$2'"
  }
  explained "kind information" "Quorvel reports the progress of a pass"
  explained "kind warning" "Quorvel found nothing to process"
  explained "kind success" "Quorvel found no RBDL distribution list to convert"
  explained "kind engine error" "Quorvel could not process a distribution list"
fi

if [ "$failures" -gt 0 ]; then
  echo "--- the entries as read back:" >&2
  cat "$work/entries" >&2
  exit 1
fi
echo "every kind of entry carries its MESSAGE_ID and the catalog explains it"
