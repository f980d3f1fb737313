#!/bin/bash
# The manual page renders without a warning, installed and from the source,
# and documents what the program reads: every profile key, every exit
# status, every environment variable of the program's own.
#   check-manpage.sh STAGE SOURCE_DIR
set -uo pipefail
stage=$1 src=$2
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

command -v man >/dev/null || { echo "SKIP: man is not installed (package man-db)"; exit 77; }
command -v groff >/dev/null || { echo "SKIP: groff is not installed (package groff-base)"; exit 77; }

page=$src/docs/quorvel.1
installed=$stage/usr/share/man/man1/quorvel.1.gz
for p in "$page" "$installed"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$p" 2>&1 >/dev/null)
  [ -z "$warnings" ] || problem "man -l $p warns: $warnings"
done
warnings=$(groff -ww -man -z "$page" 2>&1)
[ -z "$warnings" ] || problem "groff -ww warns: $warnings"

text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
[ -n "$text" ] || problem "the page renders empty"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS PROFILE "EXIT STATUS" ENVIRONMENT FILES SCHEDULING LOG EXAMPLES "SEE ALSO"; do
  grep -q "^$section\$" <<<"$text" || problem "no section $section"
done
# Every key of the table of known profile keys; the example may leave one commented out.
for key in $(sed -nE 's/^ *\{"[A-Za-z]+", "([A-Za-z]+)"\},?$/\1/p' "$src/core/ProfileCheck.cpp"); do
  grep -q "$key=" <<<"$text" || problem "the profile key $key is not described"
  grep -qE "^;?$key=" "$src/docs/examples/profile.ini" || problem "the example profile has no $key"
done
# The exit statuses the program defines.
for status in $(sed -n 's/^inline constexpr int Exit[A-Za-z]* = \([0-9]*\);.*/\1/p' "$src/core/Main.h"); do
  grep -qE "^[[:space:]]+$status[[:space:]]+[A-Z]" <<<"$text" || problem "exit status $status is not described"
done
# The environment variables the program reads itself.
for variable in $(grep -rhoE 'getenv\("[A-Z_]+"\)|"QUORVEL_[A-Z_]+"' "$src/platform" "$src/core" |
                  grep -oE '[A-Z_]{4,}' | sort -u); do
  case "$variable" in HOME|PATH|QUORVEL_EVENT_ID|QUORVEL_EVENT_TYPE|QUORVEL_CATEGORY) continue ;; esac
  grep -qw "$variable" <<<"$text" || problem "the environment variable $variable is not described"
done

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "quorvel(1) renders without warnings and documents every key, status and variable"
