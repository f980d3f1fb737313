#!/bin/bash
# Mutation check: does the test suite notice when the engine, the change test,
# the safeguards, the preview, the write path (delta writes, paging, files),
# the filter translation or the settings file is broken on purpose?
#
#   scripts/mutate.sh [-l] [-k] [N...]
#     -l     list the mutants and exit
#     -k     keep going after a failed base run (default: stop)
#     N...   run only these mutants (numbers as listed by -l)
#
# Each mutant is (file, exact original text, replacement). It is applied
# alone, only the test binaries that exercise its file are rebuilt (in
# build-mutate/, or $QUORVEL_MUTATE_DIR, configured like build/ but without the
# Qt console), each test binary runs under a time limit of its own
# ($QUORVEL_MUTATE_TIMEOUT seconds, 300 by default), and the file is restored,
# also when the script is interrupted. A mutant whose original text is no
# longer in its file is skipped and reported, so the table survives edits
# elsewhere. A mutant is killed when a test fails or runs out of time; one
# that does not compile is invalid (a mistake in this table, not a kill) and,
# like a survivor, fails the run.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVEL_MUTATE_DIR:-$here/build-mutate}
test_timeout=${QUORVEL_MUTATE_TIMEOUT:-300}
export LDAPNOINIT=1 QT_QPA_PLATFORM=offscreen

list_only=0 keep_going=0 only=()
while [ $# -gt 0 ]; do
  case "$1" in
    -l) list_only=1 ;;
    -k) keep_going=1 ;;
    *) only+=("$1") ;;
  esac
  shift
done

# The tests that exercise each mutated file, cheapest first (the first
# failure ends a mutant's run).
tests_for() {
  case "$1" in
    engine/MembershipChange.cpp) echo "engine_unit_test engine_directory_test" ;;
    engine/clsQuorvel.cpp) echo "engine_directory_test reliability_directory_test e2e_unattended_test" \
                                "reliability_delta_test reliability_fault_test compat_test reliability_server_list_test" ;;
    engine/ProcessingPasses.cpp) echo "engine_directory_test reliability_directory_test e2e_unattended_test" ;;
    engine/Safeguards.cpp | engine/DLOutcome.cpp | core/PassMetrics.cpp) echo "e2e_unattended_test" ;;
    engine/RbdlConversion.cpp) echo "engine_directory_test" ;;
    directory/DirectoryObject.cpp | platform/DirectoryService.cpp) echo "reliability_delta_test" ;;
    platform/PagedSearch.cpp) echo "directory_search_test reliability_directory_test reliability_fault_test" ;;
    platform/DirectorySearch.cpp) echo "engine_directory_test reliability_directory_test reliability_fault_test" ;;
    platform/AtomicFile.cpp) echo "core_test e2e_unattended_test" ;;
    platform/DistinguishedName.cpp) echo "directory_unit_test engine_unit_test" ;;
    platform/LdapFilter.cpp) echo "filter_test designer_model_test directory_search_test designer_filter_server_test" ;;
    platform/SettingsFile.cpp) echo "core_test reliability_concurrency_test" ;;
  esac
}

# The mutants: "@@ file", then "- original" and "+ replacement" (either may
# run over several lines; "+" alone deletes the original text).
MUTANTS=$(cat <<'EOF'
@@ engine/MembershipChange.cpp
- if (newMembers.size() > kMaxMembers) {
+ if (newMembers.size() >= kMaxMembers) {
@@ engine/MembershipChange.cpp
- result.limitRefused = true;
+
@@ engine/MembershipChange.cpp
- if (held.contains(newMembers[i])) continue;
+ if (true) continue;
@@ engine/MembershipChange.cpp
- if (newMembers.size() != oldMembers.size()) {
+ if (newMembers.size() > oldMembers.size()) {
@@ engine/MembershipChange.cpp
- if (at != NameSet::kNone && unmatched[at] > 0)
+ if (at != NameSet::kNone)
@@ engine/MembershipChange.cpp
- if (left == 0) continue;
+ if (left <= 1) continue;
@@ engine/MembershipChange.cpp
- delta.added.push_back(name);
+ (void)name;
@@ engine/clsQuorvel.cpp
- if (!qv::ValidQuery(*query)) throw
+ if (false) throw
@@ engine/clsQuorvel.cpp
- std::erase(run.newMembers, run.dl.distinguishedName);
+
@@ engine/clsQuorvel.cpp
- if (change.limitRefused || (!change.changed && !placeholderGoes)) return;
+ if (change.limitRefused || (change.changed && !placeholderGoes)) return;
@@ engine/clsQuorvel.cpp
- if (!written && IsValueConflict(run.dl.lastError.Number)) written = RewriteAfterConflict(run);
+
@@ engine/clsQuorvel.cpp
- if (!run.dl.HoldsValue("member", run.newMembers.front())) return;
+ return;
@@ engine/clsQuorvel.cpp
- if (!platform::equalsIgnoringCase(member, placeholder)) return false;
+ if (true) return false;
@@ engine/clsQuorvel.cpp
- if (failure.Number != err::AccessDenied && failure.Number != 0)
+ if (failure.Number != 0)
@@ engine/clsQuorvel.cpp
- run.updated = true;
}
+ }
@@ engine/clsQuorvel.cpp
- return LoggingLevelValue(LoggingLevel) >= level;
+ return LoggingLevelValue(LoggingLevel) > level;
@@ engine/clsQuorvel.cpp
- if (!query) throw Error(err::NotQuorvel, "This DL is not Quorvel!");
+ if (!query) return;
@@ engine/clsQuorvel.cpp
- succeeded = !run.safeguardRefused;
+ succeeded = run.updated && !run.safeguardRefused;
@@ engine/clsQuorvel.cpp
- run.oldMembers = bag.list("member");
+
@@ engine/clsQuorvel.cpp
- const platform::SameServer oneServer;
+
@@ engine/MembershipChange.cpp
- if (!delta.added.empty() && !delta.removed.empty()) pairRespellings(delta);
+
@@ platform/DistinguishedName.cpp
- ignoresCase ? foldedValue(value) : std::string(value)
+ std::string(value)
@@ engine/clsQuorvel.cpp
- else if (ChangeIsSmaller(gone.size() + come.size(), run.newMembers.size()))
+ else if (!ChangeIsSmaller(gone.size() + come.size(), run.newMembers.size()))
@@ engine/clsQuorvel.cpp
- if (DryRun) {
+ if (false) {
@@ engine/clsQuorvel.cpp
- if (!Forced(run.dl.adsPath) && RefusedBySafeguard(run)) return;
+ if (!Forced(run.dl.adsPath)) RefusedBySafeguard(run);
@@ engine/clsQuorvel.cpp
- return platform::sameObject(path, adsPath);
+ return !path.empty();
@@ directory/DirectoryObject.cpp
- if (object.permissiveModify())
+ if (true)
@@ platform/DirectoryService.cpp
- permissive_ ? controls : nullptr
+ nullptr
@@ engine/Safeguards.cpp
- if (limits.maxRemoveCount && removedCount > *limits.maxRemoveCount)
+ if (limits.maxRemoveCount && removedCount >= *limits.maxRemoveCount)
@@ engine/Safeguards.cpp
- removedCount * 100 > std::size_t(*limits.maxRemovePercent) * currentCount)
+ removedCount * 100 >= std::size_t(*limits.maxRemovePercent) * currentCount)
@@ engine/Safeguards.cpp
- currentCount >= limits.minMembers &&
+ currentCount > limits.minMembers &&
@@ engine/Safeguards.cpp
- return (part * 100 + whole - 1) / whole;
+ return part * 100 / whole;
@@ engine/DLOutcome.cpp
- if (!outcome.refused.empty())
        return "# not written, "
+ if (false)
        return "# not written, "
@@ core/PassMetrics.cpp
- "{profile=\"" + labelValue(m.profile) + "\"} "
+ " "
@@ platform/PagedSearch.cpp
- if (cookie_.empty()) {
+ if (true) {
@@ platform/PagedSearch.cpp
- } catch (...) {
        done_ = true;
        throw;
+ } catch (...) {
        done_ = true;
        return false;
@@ platform/DirectorySearch.cpp
- throw searchError(failure, command);
+ (void)failure;
@@ platform/AtomicFile.cpp
- ::unlink(temp.c_str());
+
@@ engine/RbdlConversion.cpp
- if (outcome.copied && r.move)
+ if (r.move)
@@ engine/ProcessingPasses.cpp
- result = processDl(*dl) && result;
+ result = processDl(*dl);
@@ engine/ProcessingPasses.cpp
- platform::escapeFilterValue(m.strPrefix)
+ m.strPrefix
@@ engine/ProcessingPasses.cpp
- if (!found || found.objects().Count() == 0) {
+ if (!found) {
@@ engine/ProcessingPasses.cpp
- if (!found) logSearchFailure(sent, container, *found.error());
+
@@ platform/LdapFilter.cpp
- if (c == '*' || c == '(' || c == ')' || c == '\\'
+ if (c == '(' || c == ')' || c == '\\'
@@ platform/LdapFilter.cpp
- if (!wildcards) return invalid(
+ if (false) return invalid(
@@ platform/LdapFilter.cpp
- return dotted ? end : npos;
+ return end;
@@ platform/LdapFilter.cpp
- const bool shapeOk = (parts < 2 || firstIsDn) && (hasAttribute || parts >= 1);
+ const bool shapeOk = (parts < 2 || firstIsDn);
@@ platform/LdapFilter.cpp
- out += digits[byte & 0x0F];
+ out += digits[byte >> 4];
@@ platform/LdapFilter.cpp
- if (count != 1) out_ += "(&";
+ if (count > 1) out_ += "(|";
@@ platform/LdapFilter.cpp
- if (open.size() == kMaxDepth) fail(
+ if (open.size() == kMaxDepth * 100) fail(
@@ platform/LdapFilter.cpp
- if (!dialect) return invalid("a backslash must be followed by two hexadecimal digits");
+
@@ platform/SettingsFile.cpp
- if (current.status == FileReadStatus::Failed) return false;
+
@@ platform/SettingsFile.cpp
- mode_t mode = 0600;
+ mode_t mode = 0644;
@@ platform/SettingsFile.cpp
- case '\n': out += "\\n"; break;
+ case '\n': out += "\n"; break;
@@ platform/SettingsFile.cpp
- return std::nullopt;  // no closing quote: a truncated line
+ return out;
@@ platform/SettingsFile.cpp
- if (hasSubkeys || it == doc.end()) return false;
+ if (it == doc.end()) return false;
@@ platform/SettingsFile.cpp
- removeStaleTemporaries(folder);
+
@@ platform/SettingsFile.cpp
- if (entry && !findEntry(*current, entry->name)) current->entries.push_back
+ if (entry) current->entries.insert(current->entries.begin(), std::move(*entry)); if (false) current->entries.push_back
EOF
)

# mutant N [apply|show]: prints "file<TAB>status" (ok, missing, ambiguous),
# applies the mutant, or shows it; mutant 0 prints how many there are.
mutant() {
  MUTANTS="$MUTANTS" python3 - "$here" "$1" "${2:-}" <<'PY'
import os, sys
here, number, action = sys.argv[1], int(sys.argv[2]), sys.argv[3]
records = []
for block in ("\n" + os.environ["MUTANTS"]).split("\n@@ ")[1:]:
    lines = block.split("\n")
    path, rest = lines[0].strip(), "\n".join(lines[1:])
    original, _, replacement = rest.partition("\n+")
    records.append((path, original[2:], replacement.lstrip(" ")))
if number == 0:
    print(len(records)); sys.exit(0)
path, original, replacement = records[number - 1]
text = open(os.path.join(here, path)).read()
status = "ok" if text.count(original) == 1 else ("missing" if original not in text else "ambiguous")
if action == "apply" and status == "ok":
    open(os.path.join(here, path), "w").write(text.replace(original, replacement))
if action == "show":
    print(f"{path}: {original!r} -> {replacement!r}")
else:
    print(f"{path}\t{status}")
PY
}

total=$(mutant 0)
if [ "$list_only" = 1 ]; then
  for n in $(seq 1 "$total"); do echo "$n $(mutant "$n" show)"; done
  exit 0
fi
[ ${#only[@]} -eq 0 ] && only=($(seq 1 "$total"))

# ---- the build -------------------------------------------------------------
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_CONSOLE=OFF >/dev/null ||
    { echo "mutate: configuring $build failed" >&2; exit 2; }
fi
# The program itself only where a test runs it.
targets_for() {
  local tests
  tests=$(tests_for "$1")
  case "$tests" in *e2e_* | *reliability_*) echo "quorvel $tests" ;; *) echo "$tests" ;; esac
}
build_for() { cmake --build "$build" -j2 --target $(targets_for "$1") >"$build/mutate-build.log" 2>&1; }
# Each test binary under the script's own time limit: ctest's --timeout gives
# way to a test's own TIMEOUT property. timeout(1) ends ctest and everything
# it started.
run_tests() { # file: 0 when all its tests pass; `failed` names the test that did not
  local t status
  for t in $(tests_for "$1"); do
    timeout -k 10 "$test_timeout" ctest --test-dir "$build" -R "^$t\$" >"$build/mutate-test.log" 2>&1
    status=$?
    [ "$status" = 0 ] && continue
    failed="$t ($([ "$status" -ge 124 ] && echo "out of time" || echo failed))"
    return 1
  done
}

backup="" backup_of=""
restore() {
  if [ -n "$backup" ]; then
    # A new time stamp: every build folder then recompiles the restored file.
    cat "$backup" >"$here/$backup_of"
    rm -f "$backup"
    backup=""
  fi
}
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

# The unmutated code must pass, or every mutant would count as killed.
files=$(for n in "${only[@]}"; do mutant "$n" | cut -f1; done | sort -u)
for f in $files; do
  if ! build_for "$f" || ! run_tests "$f"; then
    echo "mutate: the tests of $f fail without a mutant (see $build/mutate-*.log)" >&2
    [ "$keep_going" = 1 ] || exit 2
  fi
done

killed=0 survived=0 invalid=0 skipped=0 survivors=() invalids=() skips=()
started=$(date +%s)
for n in "${only[@]}"; do
  IFS=$'\t' read -r file status <<<"$(mutant "$n")"
  if [ "$status" != ok ]; then
    skipped=$((skipped + 1)); skips+=("$n ($file: original text $status)")
    echo "mutant $n: skipped ($status in $file)"
    continue
  fi
  # The restore is armed only once the copy is known to be whole.
  copy=$(mktemp)
  if ! cp -p "$here/$file" "$copy" || ! cmp -s "$here/$file" "$copy"; then
    rm -f "$copy"
    echo "mutate: cannot back up $file; stopping before it is changed" >&2
    exit 2
  fi
  backup=$copy backup_of=$file
  mutant "$n" apply >/dev/null
  if ! build_for "$file"; then
    verdict=invalid; how="does not compile, see $build/mutate-build.log"
    cp "$build/mutate-build.log" "$build/mutate-build-$n.log"
  elif run_tests "$file"; then
    verdict=survived; how=""
  else
    verdict=killed; how=$failed
  fi
  restore
  case "$verdict" in
    killed) killed=$((killed + 1)) ;;
    invalid) invalid=$((invalid + 1)); invalids+=("$n $(mutant "$n" show)") ;;
    *) survived=$((survived + 1)); survivors+=("$n $(mutant "$n" show)") ;;
  esac
  echo "mutant $n: $verdict ${how:+($how)} $(mutant "$n" show)"
done
# Leave the build matching the restored sources.
for f in $files; do build_for "$f" || true; done

echo "mutants: $killed killed, $survived survived, $invalid invalid, $skipped skipped ($(( $(date +%s) - started ))s)"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
for s in "${invalids[@]}"; do echo "  invalid (does not compile): $s"; done
for s in "${skips[@]}"; do echo "  skipped: $s"; done
[ "$survived" -eq 0 ] && [ "$invalid" -eq 0 ]
