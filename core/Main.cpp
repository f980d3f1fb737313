#include "core/Main.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/ErrorText.h"
#include "core/PassMetrics.h"
#include "core/ProfileCheck.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/FollowMode.h"
#include "engine/IncrementalState.h"
#include "engine/ProcessingPasses.h"
#include "engine/clsQuorvel.h"
#include "platform/AdsPath.h"
#include "platform/DirectoryService.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/FileText.h"
#include "platform/InstanceLock.h"
#include "platform/StopSignal.h"

namespace qv {
namespace {

void complain(const std::string& text) { std::fprintf(stderr, "quorvel: %s\n", text.c_str()); }

// What the options in front of the profile ask for.
struct RunOptions {
    bool dryRun = false;  // --dry-run, -n: write nothing, print the change
    bool json = false;    // --json: print it as JSON lines instead of LDIF
    bool force = false;   // --force: the safeguards do not hold this run back
    bool follow = false;  // --follow: stay connected and keep the DLs following the directory
    bool full = false;    // --full: every DL's query runs in full, whatever its incremental state
    std::vector<std::string> forced;  // --force=ADSPATH: nor the DLs named
    bool given = false;   // any option at all: a profile is required
};

// One option of the unattended run. A new option is one more row of kOptions.
using OptionValue = std::optional<std::string>;  // the text after "=", when given
struct OptionRule {
    const char* name;       // "--dry-run"
    const char* shortName;  // "-n", or null
    // Applies the option; returns why it is refused, or nothing.
    std::string (*apply)(RunOptions& options, const OptionValue& value);
};

template <bool RunOptions::*flag>
std::string setFlag(RunOptions& options, const OptionValue& value) {
    if (value) return "takes no value";
    options.*flag = true;
    return {};
}

// --force lifts the limits for every DL; --force=ADSPATH for that DL alone, once per DL.
std::string setForce(RunOptions& options, const OptionValue& value) {
    if (!value) return options.force = true, std::string();
    if (!platform::findScheme(*value)) return "needs the DL's ADsPath (LDAP://host/DN), not " + *value;
    options.forced.push_back(*value);
    return {};
}

constexpr OptionRule kOptions[] = {
    {"--dry-run", "-n", setFlag<&RunOptions::dryRun>},
    {"--json", nullptr, setFlag<&RunOptions::json>},
    {"--force", nullptr, setForce},
    {"--follow", nullptr, setFlag<&RunOptions::follow>},
    {"--full", nullptr, setFlag<&RunOptions::full>},
};

const OptionRule* findOption(std::string_view word) {
    const std::string_view name = word.substr(0, word.find('='));
    for (const auto& option : kOptions)
        if (name == option.name || (option.shortName && word == option.shortName)) return &option;
    return nullptr;
}

bool isHelp(std::string_view word) { return word == "--help" || word == "-h"; }

// The console needs a display: X11, Wayland, or a platform Qt is told to use.
bool displayAvailable() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(variable); value && *value) return true;
    return false;
}

std::string counted(std::size_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

void reportProblem(const DLProblem& problem) {
    complain(std::string(problem.refused ? "refused by a safeguard: " : "failed: ") + problem.adsPath + ": " +
             problem.reason);
}

// Said only when the pass failed: cron mails whatever a run prints.
void reportPassFailure(const std::string& target) {
    const PassCounters& counters = mdl().objQuorvel->Counters;
    if (counters.processed == 0) return complain("no Quorvel DL was processed below " + target + " (see the log)");
    std::string text = counted(counters.processed, "DL");
    if (counters.failed) text += ", " + std::to_string(counters.failed) + " failed";
    if (counters.refused) text += ", " + std::to_string(counters.refused) + " refused by a safeguard";
    complain(text);
}

// Unknown names in the profile: warnings, or the end of the run for a brake.
bool profileNamesHold(const std::string& profile) {
    bool fatal = false;
    for (const auto& problem : CheckProfileNames(profile)) {
        complain(problem.fatal ? problem.text : "warning: " + problem.text);
        fatal = fatal || problem.fatal;
    }
    if (fatal) complain("nothing was processed: a [Safeguards] key that is not read would let removals through");
    return !fatal;
}

// A password in a profile that others may read is a secret shared with them.
void warnIfPasswordExposed(const std::string& profile) {
    if (mdl().objConnection->Password().empty() || mdl().objConnection->isCurrentUser()) return;
    if (platform::readableByOthers(profile))
        complain("warning: " + profile + " holds a password and can be read by other users (chmod 600 it)");
}

// The target's failure when connecting to its server failed in a way that
// asking again repeats: an unreachable or silent server (which would hold the
// run for a second full timeout) or a refused account (a second refused bind).
std::optional<QueryResult> connectFailure() {
    auto& m = mdl();
    if (m.objExchangeStore->Connect(m.objConnection.get(), m.strTarget)) return std::nullopt;
    const Error* error = m.objExchangeStore->ConnectError();
    if (!error || (error->number() != err::ServerDown && error->number() != err::LogonFailure)) return std::nullopt;
    return QueryResult::failed(*error);
}

// Fetches the target into the selection; false when it cannot be found.
bool fetchTarget() {
    auto& m = mdl();
    std::string path = m.strTarget;
    std::optional<QueryResult> found = connectFailure();
    if (!found) found = m.objExchangeStore->Query(path);
    m.objDirObjects = *found ? found->shared() : nullptr;
    if (*found && found->objects().Count() > 0) return true;
    // The entry's text does not say why: the directory's answer goes with it.
    const Error* error = found->error();
    const std::string reason = error ? error->description() : "no such object";
    LogEvent("Could not find object specified [" + m.strTarget + "]", LogMinimum, EventWarning, EventIdInformation,
             {{}, reason});
    if (error)
        complain("cannot read " + m.strTarget + ": Error " + std::to_string(error->number()) + " [" +
                 HexText(error->number()) + "]: " + reason);
    else
        complain("no object at " + m.strTarget);
    return false;
}

// The incremental state of the profile, when its passes are incremental.
// A state file that is there but not used only costs a full pass: a step entry says why.
std::unique_ptr<IncrementalState> openState(const std::string& profile) {
    auto state = std::make_unique<IncrementalState>(IncrementalState::PathFor(profile), mdl().strTarget);
    if (!state->Discarded().empty())
        LogEvent("The state of incremental passes " + state->Path() + " " + state->Discarded() +
                     "; every DL runs in full.",
                 LogMaximum, EventWarning, EventIdInformation);
    return state;
}

// Sets the engine up for this run: limits, incremental passes, preview, and
// where a preview's change goes. `state` keeps the incremental state for the run.
bool configureEngine(const std::string& profile, const RunOptions& options, std::unique_ptr<IncrementalState>& state) {
    clsQuorvel& engine = *mdl().objQuorvel;
    auto read = [&](const char* section, const char* key) {
        return mdl().objKVORAPI->GetPrivateProfileString(section, key, "", profile);
    };
    IncrementalSettings incremental;
    try {
        engine.Limits = ReadSafeguards(read);
        incremental = ReadIncrementalSettings(read);
    } catch (const std::invalid_argument& bad) {
        complain("the profile " + profile + ": " + bad.what());
        return false;
    }
    // Following watches from the cookies the state keeps, so it keeps one whatever Incremental= says.
    if (incremental.enabled || options.follow) state = openState(profile);
    engine.State = state.get();
    engine.FullPass = options.full;
    engine.FullPassEvery = incremental.fullPassEvery;
    engine.Force = options.force;
    engine.ForcedDLs = options.forced;
    engine.DryRun = options.dryRun;
    engine.OnProblem = reportProblem;
    mdl().objKVORAPI->Preview = options.dryRun;
    if (options.dryRun && !options.json) std::fputs(LdifHeader, stdout);
    if (options.dryRun)
        engine.OnOutcome = [json = options.json](const DLOutcome& outcome) {
            const std::string text = json ? JsonRecord(outcome) : LdifRecord(outcome);
            std::fwrite(text.data(), 1, text.size(), stdout);
        };
    return true;
}

int runPass(const StartRequest& request, const RunOptions& options) {
    const std::string& profile = request.profilePath;
    if (auto reason = ProfileUnreadableReason(profile); !reason.empty()) {
        complain("cannot read the profile " + profile + ": " + reason);
        if (request.inProgramFolder)
            complain("a name without a folder is looked for beside the program; write ./" + request.argument +
                     " for a profile in the current folder");
        return ExitBadProfile;
    }
    if (!profileNamesHold(profile)) return ExitBadProfile;
    auto& m = mdl();
    m.strProfile = profile;
    LoadProfileSettings(profile);
    warnIfPasswordExposed(profile);
    if (m.strTarget.empty()) {
        complain("the profile " + profile + " names no Target in section [General]; nothing to do");
        ExitProgram(false);
        return ExitBadProfile;
    }
    std::unique_ptr<IncrementalState> state;
    if (!configureEngine(profile, options, state)) {
        ExitProgram(false);
        return ExitBadProfile;
    }
    bool result = fetchTarget();
    if (result && options.follow) {
        // Stopping is the one way a follow ends, and a clean one.
        platform::catchStopSignals();
        FollowTarget();
    } else if (result) {
        result = m.objDirObjects->Item(1)->objectClass == "groupOfNames" ? ProcessOneDL(nullptr)
                                                                           : ProcessContainer(nullptr);
    }
    m.objQuorvel->FlushState();
    m.objQuorvel->State = nullptr;
    ExitProgram(false);
    // A preview that did not reach its reader must not pass for a complete one.
    if (options.dryRun && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        complain("cannot write the preview to standard output");
        return ExitFailed;
    }
    if (!result && m.objDirObjects) reportPassFailure(m.strTarget);
    return result ? ExitSucceeded : ExitFailed;
}

// A preview changes nothing, so it leaves the last real pass's figures alone.
void writeMetrics(const std::string& profile, const RunOptions& options, int status,
                  std::chrono::steady_clock::time_point start) {
    const char* path = std::getenv("QUORVEL_METRICS_FILE");
    if (!path || !*path || options.dryRun) return;
    PassMetrics metrics;
    metrics.profile = ProfileLabel(profile);
    metrics.success = status == ExitSucceeded;
    metrics.durationSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    metrics.end = std::chrono::system_clock::now();
    if (mdl().objQuorvel.exists()) metrics.counters = mdl().objQuorvel->Counters;
    if (auto problem = WriteMetricsFile(path, metrics); !problem.empty())
        complain("cannot write the metrics file " + std::string(path) + ": " + problem);
}

int runUnattended(const StartRequest& request, const RunOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    const int status = runPass(request, options);
    writeMetrics(request.profilePath, options, status, start);
    return status;
}

// Takes the options in front of the profile off `arguments`; false (after
// saying why) when one is unknown or they do not go together.
bool readOptions(std::vector<const char*>& arguments, RunOptions& options) {
    std::size_t i = 1;
    for (; i < arguments.size() && arguments[i][0] == '-' && arguments[i][1] != '\0'; ++i) {
        const std::string option = arguments[i];
        if (option == "--") {
            ++i;
            break;
        }
        options.given = true;
        const OptionRule* rule = findOption(option);
        if (!rule) return complain("unknown option " + option + " (see quorvel --help)"), false;
        const auto equals = option.find('=');
        const OptionValue value = equals == std::string::npos ? OptionValue() : option.substr(equals + 1);
        if (auto refusal = rule->apply(options, value); !refusal.empty())
            return complain(std::string(rule->name) + " " + refusal + " (see quorvel --help)"), false;
    }
    arguments.erase(arguments.begin() + 1, arguments.begin() + std::ptrdiff_t(i));
    if (options.json && !options.dryRun) return complain("--json goes with --dry-run (see quorvel --help)"), false;
    // A follow never ends by itself: a preview would print forever and a
    // lifted safeguard would stay lifted for every change to come.
    if (options.follow && (options.dryRun || options.force || !options.forced.empty()))
        return complain("--follow goes with neither --dry-run nor --force (see quorvel --help)"), false;
    return true;
}

// When the profile named does not exist and a later word is an option, the
// options were written after the profile: the command as it should read.
std::optional<std::string> optionsAfterProfile(const std::vector<const char*>& arguments,
                                               const std::vector<const char*>& front, const StartRequest& request) {
    if (request.mode != StartRequest::Mode::Profile || ProfileUnreadableReason(request.profilePath).empty())
        return std::nullopt;
    std::string options, profile;
    for (const char* word : front) options += std::string(word) + " ";
    bool found = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const bool option = i > 1 && (findOption(arguments[i]) || isHelp(arguments[i]));
        (option ? options : profile) += std::string(arguments[i]) + " ";
        found = found || option;
    }
    if (!found) return std::nullopt;
    profile.pop_back();
    return "quorvel " + options + profile;
}

}  // namespace

const char* HelpText() {
    return "Usage: quorvel [PROFILE]\n"
           "       quorvel [--dry-run [--json]] [--force | --force=ADSPATH...] [--full]\n"
           "               PROFILE\n"
           "       quorvel [--full] --follow PROFILE\n"
           "       quorvel --help | -h | --version\n"
           "\n"
           "Keeps query-defined distribution lists (DLs) in an LDAP directory up to date:\n"
           "each Quorvel DL stores an LDAP search, and its members are rewritten to match.\n"
           "\n"
           "quorvel PROFILE runs one pass unattended: it reads the INI profile, binds to\n"
           "the server of its [General] Target and processes that DL, or every Quorvel DL\n"
           "below it when the target is a container, logs what it did and ends. A failed\n"
           "search never shrinks a DL. Name PROFILE by a path, such as ./nightly.ini or\n"
           "/etc/quorvel/nightly.ini: a bare file name is looked for in the program's own\n"
           "folder. Without PROFILE, quorvel opens the desktop console.\n"
           "\n"
           "Profile (section and key names in any case; \";\" starts a comment line):\n"
           "  [General]\n"
           "  Target=LDAP://ldap01.example.com:389/cn=Distribution Lists,ou=Site,o=Org\n"
           "                  the DL or container to process (required); servers of one\n"
           "                  directory as LDAP://host1,host2:port/... are tried in order\n"
           "  LoggingLevel=0  0 warnings, errors and the first difference in a DL whose\n"
           "                  count stays the same; 1 also a summary per DL and pass;\n"
           "                  2 also every step\n"
           "  Field=extension-attribute-15   the attribute holding a DL's definition\n"
           "  Prefix=QVL=     the text a definition begins with\n"
           "  EmptyMember=cn=empty,cn=quorvel  the member an emptied DL keeps where its\n"
           "                  class must have one; never counted\n"
           "  Incremental=false  true: where the server offers content synchronisation\n"
           "                  (RFC 4533; slapd's syncprov with a session log), a DL's\n"
           "                  query reads only what changed since its last pass; the\n"
           "                  state is kept as NAME.state in $STATE_DIRECTORY, else in\n"
           "                  $XDG_STATE_HOME/quorvel, else in ~/.local/state/quorvel\n"
           "  FullPassEvery=24h  an incremental DL's query runs in full at least this\n"
           "                  often (s, m, h or d; a bare number counts hours)\n"
           "  [Authentication]\n"
           "  User=##CurrentUser##  the account; ##CurrentUser## binds anonymously, or\n"
           "                  with SASL when ldap.conf sets SASL_MECH; a User holding\n"
           "                  \"=\" (uid=quorvel,ou=System,...) is the bind DN as it stands\n"
           "  Password=       the account's password: chmod 600 the profile\n"
           "  Domain=         binds as dc=DOMAIN,cn=USER\n"
           "  Admin=false     true binds as dc=DOMAIN,cn=USER,cn=admin\n"
           "  [Safeguards]    limits on removals; an absent key sets none\n"
           "  MaxRemovePercent=  most of a DL's members one pass may remove, 0-100\n"
           "  MaxRemoveCount=    most members one pass may remove from a DL\n"
           "  MinMembers=10   MaxRemovePercent applies from this many members\n"
           "  AllowEmpty=true false: never empty a DL that has members\n"
           "  A DL whose change exceeds a limit is not written: one error entry names\n"
           "  it, the pass goes on and ends with exit status 1.\n"
           "  Unknown sections and keys are named on standard error; in [Safeguards]\n"
           "  they stop the run (exit status 2).\n"
           "\n"
           "Options, before PROFILE (-h is --help):\n"
           "  --dry-run, -n   preview: the same searches, checks and log entries (marked\n"
           "                  as a preview), but nothing is written; standard output gets\n"
           "                  the change as LDIF that ldapmodify applies unchanged\n"
           "  --json          with --dry-run: one JSON object per DL instead, with dn,\n"
           "                  adspath, before, after, added, removed, refused\n"
           "  --force         write even the changes the [Safeguards] limits refuse,\n"
           "                  for every DL of this run\n"
           "  --force=ADSPATH the same for the one DL at ADSPATH, as its refusal entry\n"
           "                  names it; repeat it for several DLs\n"
           "  --full          with Incremental=true: run every DL's query in full this\n"
           "                  time, as if no state were kept (the state starts anew)\n"
           "  --follow        stay connected and keep every DL of the target up to date\n"
           "                  within seconds of a change to the people its query selects\n"
           "                  (needs content synchronisation on the server: syncprov);\n"
           "                  an incremental pass first (whatever Incremental= says),\n"
           "                  then only what changes; runs until SIGTERM or Ctrl+C,\n"
           "                  then ends with status 0\n"
           "\n"
           "Exit status: 0 the pass succeeded; 1 it failed (target not found, no Quorvel DL\n"
           "in the container, a DL failed, or a safeguard refused a DL's change); 2 the\n"
           "profile cannot be read, names no target or holds a limit, Incremental= or\n"
           "FullPassEvery= that is not a value it takes, or the command line or an LDAP\n"
           "timeout is wrong; 3 another instance is running. A preview ends as the pass\n"
           "would, and leaves the incremental state as it was. A pass that succeeded prints\n"
           "nothing; one that did not names each failed or refused DL on standard error.\n"
           "\n"
           "Log: the system journal, identifier Quorvel:\n"
           "  journalctl -t Quorvel -x           the entries, with what each kind means\n"
           "  journalctl -t Quorvel -p warning   only warnings and errors\n"
           "\n"
           "Environment:\n"
           "  QUORVEL_EVENT_LOG=FILE             also append each entry to FILE as JSON\n"
           "  QUORVEL_METRICS_FILE=FILE          replace FILE after each pass with its\n"
           "                                     figures for node_exporter (.prom)\n"
           "  QUORVEL_LDAP_NETWORK_TIMEOUT=SECS  give up connecting (default 10)\n"
           "  QUORVEL_LDAP_TIMEOUT=SECS          give up waiting for an answer (default 60)\n"
           "  LDAPNOINIT=1                       ignore ldap.conf\n"
           "\n"
           "Every 15 minutes with systemd, for the profile /etc/quorvel/NAME.ini:\n"
           "  systemctl enable --now quorvel@NAME.timer\n"
           "or following the directory instead:\n"
           "  systemctl enable --now quorvel-follow@NAME.service\n"
           "\n"
           "More: man quorvel\n";
}

int Main(int argc, char** argv, const ConsoleEntry& console) {
    if (argc == 2 && isHelp(argv[1])) return std::fputs(HelpText(), stdout), ExitSucceeded;
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::printf("quorvel %s\n", QUORVEL_VERSION), ExitSucceeded;
    if (auto problem = platform::directoryTimeoutsProblem(); !problem.empty())
        return complain(problem), ExitBadProfile;

    std::vector<const char*> arguments(argv, argv + argc);
    RunOptions options;
    if (!readOptions(arguments, options)) return ExitBadProfile;
    const std::vector<const char*> front(argv + 1, argv + (argc - int(arguments.size()) + 1));
    const StartRequest request = ReadStartRequest(CommandLineText(int(arguments.size()), arguments.data()));
    if (auto command = optionsAfterProfile(arguments, front, request)) {
        complain("options go before the profile: " + *command + " (see quorvel --help)");
        return ExitBadProfile;
    }
    if (options.given && request.mode != StartRequest::Mode::Profile) {
        complain("the options need a PROFILE (see quorvel --help)");
        return ExitBadProfile;
    }
    const bool consoleMode = request.mode == StartRequest::Mode::Console;
    if (consoleMode && console.run && !displayAvailable()) {
        complain("no display to open the console on: run quorvel PROFILE for an unattended pass, or start the "
                 "console where DISPLAY or WAYLAND_DISPLAY is set (see quorvel --help)");
        return ExitBadProfile;
    }
    bool running = false;
    try {
        running = platform::previousInstanceRunning("quorvel");
    } catch (const Error& error) {
        complain(error.description());
        return ExitFailed;
    }
    if (running) {
        if (consoleMode && console.showPreviousInstanceMessage)
            console.showPreviousInstanceMessage(argc, argv);
        else
            complain("A previous instance of Quorvel is running.");
        return ExitOtherInstance;
    }
    switch (request.mode) {
        case StartRequest::Mode::Console:
            if (console.run) return console.run(argc, argv);
            complain("the console is not part of this build; run quorvel PROFILE (see quorvel --help)");
            return ExitBadProfile;
        case StartRequest::Mode::NoProfile:
            complain("the argument names no profile file (see quorvel --help)");
            return ExitBadProfile;
        case StartRequest::Mode::Profile:
            break;
    }
    return runUnattended(request, options);
}

}  // namespace qv
