#include "core/Main.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ErrorText.h"
#include "core/PassMetrics.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/ProcessingPasses.h"
#include "engine/clsQuorvel.h"
#include "platform/AdsPath.h"
#include "platform/Error.h"
#include "platform/FileText.h"
#include "platform/InstanceLock.h"

namespace qv {
namespace {

void complain(const std::string& text) { std::fprintf(stderr, "quorvel: %s\n", text.c_str()); }

// What the options in front of the profile ask for.
struct RunOptions {
    bool dryRun = false;  // --dry-run, -n: write nothing, print the change
    bool json = false;    // --json: print it as JSON lines instead of LDIF
    bool force = false;   // --force: the safeguards do not hold this run back
    std::vector<std::string> forced;  // --force=ADSPATH: nor the DLs named
    bool given = false;   // any option at all: a profile is required
};

// A password in a profile that others may read is a secret shared with them.
void warnIfPasswordExposed(const std::string& profile) {
    if (mdl().objConnection->Password().empty() || mdl().objConnection->isCurrentUser()) return;
    if (platform::readableByOthers(profile))
        complain("warning: " + profile + " holds a password and can be read by other users (chmod 600 it)");
}

// Fetches the target into the selection; false when it cannot be found.
bool fetchTarget() {
    auto& m = mdl();
    m.objExchangeStore->Connect(m.objConnection.get(), m.strTarget);
    std::string path = m.strTarget;
    auto found = m.objExchangeStore->Query(path);
    m.objDirObjects = found ? found.shared() : nullptr;
    if (found && found.objects().Count() > 0) return true;
    LogEvent("Could not find object specified [" + m.strTarget + "]", LogMinimum, EventWarning, EventIdInformation);
    if (!found)
        complain("cannot read " + m.strTarget + ": Error " + std::to_string(found.error()->number()) + " [" +
                 HexText(found.error()->number()) + "]: " + found.error()->description());
    else
        complain("no object at " + m.strTarget);
    return false;
}

// Sets the engine up for this run: limits, preview, and where a preview's change goes.
bool configureEngine(const std::string& profile, const RunOptions& options) {
    clsQuorvel& engine = *mdl().objQuorvel;
    try {
        engine.Limits = ReadSafeguards([&](const char* section, const char* key) {
            return mdl().objKVORAPI->GetPrivateProfileString(section, key, "", profile);
        });
    } catch (const std::invalid_argument& bad) {
        complain("the profile " + profile + ": " + bad.what());
        return false;
    }
    engine.Force = options.force;
    engine.ForcedDLs = options.forced;
    engine.DryRun = options.dryRun;
    mdl().objKVORAPI->Preview = options.dryRun;
    if (options.dryRun && !options.json) std::fputs(LdifHeader, stdout);
    if (options.dryRun)
        engine.OnOutcome = [json = options.json](const DLOutcome& outcome) {
            const std::string text = json ? JsonRecord(outcome) : LdifRecord(outcome);
            std::fwrite(text.data(), 1, text.size(), stdout);
        };
    return true;
}

int runPass(const std::string& profile, const RunOptions& options) {
    if (auto reason = ProfileUnreadableReason(profile); !reason.empty()) {
        complain("cannot read the profile " + profile + ": " + reason);
        return ExitBadProfile;
    }
    auto& m = mdl();
    m.strProfile = profile;
    LoadProfileSettings(profile);
    warnIfPasswordExposed(profile);
    if (m.strTarget.empty()) {
        complain("the profile " + profile + " names no Target in section [General]; nothing to do");
        ExitProgram(false);
        return ExitBadProfile;
    }
    if (!configureEngine(profile, options)) {
        ExitProgram(false);
        return ExitBadProfile;
    }
    bool result = fetchTarget();
    if (result)
        result = m.objDirObjects->Item(1)->objectClass == "groupOfNames" ? ProcessOneDL(nullptr)
                                                                           : ProcessContainer(nullptr);
    ExitProgram(false);
    // A preview that did not reach its reader must not pass for a complete one.
    if (options.dryRun && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        complain("cannot write the preview to standard output");
        return ExitFailed;
    }
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

int runUnattended(const std::string& profile, const RunOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    const int status = runPass(profile, options);
    writeMetrics(profile, options, status, start);
    return status;
}

bool isOption(int argc, char** argv, const char* option) { return argc == 2 && std::strcmp(argv[1], option) == 0; }

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
        if (option == "--dry-run" || option == "-n")
            options.dryRun = true;
        else if (option == "--json")
            options.json = true;
        else if (option == "--force")
            options.force = true;
        else if (option.rfind("--force=", 0) == 0 && platform::findScheme(option.substr(8)))
            options.forced.push_back(option.substr(8));
        else if (option.rfind("--force=", 0) == 0)
            return complain(option + " names no DL: give its ADsPath, LDAP://host/DN (see quorvel --help)"), false;
        else
            return complain("unknown option " + option + " (see quorvel --help)"), false;
    }
    arguments.erase(arguments.begin() + 1, arguments.begin() + std::ptrdiff_t(i));
    if (options.json && !options.dryRun) return complain("--json goes with --dry-run (see quorvel --help)"), false;
    return true;
}

}  // namespace

const char* HelpText() {
    return "Usage: quorvel [PROFILE]\n"
           "       quorvel [--dry-run [--json]] [--force | --force=ADSPATH...] PROFILE\n"
           "       quorvel --help | --version\n"
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
           "                  the DL or container to process (required)\n"
           "  LoggingLevel=0  0 warnings, errors and the changes found; 1 also a summary\n"
           "                  per DL and pass; 2 also every step\n"
           "  Field=extension-attribute-15   the attribute holding a DL's definition\n"
           "  Prefix=QVL=     the text a definition begins with\n"
           "  [Authentication]\n"
           "  User=##CurrentUser##  the account; ##CurrentUser## binds anonymously, or\n"
           "                  with SASL when ldap.conf sets SASL_MECH\n"
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
           "\n"
           "Options, before PROFILE:\n"
           "  --dry-run, -n   preview: the same searches, checks and log entries (marked\n"
           "                  as a preview), but nothing is written; standard output gets\n"
           "                  the change as LDIF that ldapmodify applies unchanged\n"
           "  --json          with --dry-run: one JSON object per DL instead, with dn,\n"
           "                  adspath, before, after, added, removed, refused\n"
           "  --force         write even the changes the [Safeguards] limits refuse,\n"
           "                  for every DL of this run\n"
           "  --force=ADSPATH the same for the one DL at ADSPATH, as its refusal entry\n"
           "                  names it; repeat it for several DLs\n"
           "\n"
           "Exit status: 0 the pass succeeded; 1 it failed (target not found, no Quorvel DL\n"
           "in the container, a DL failed, or a safeguard refused a DL's change); 2 the\n"
           "profile cannot be read, names no target or holds a limit that is not a\n"
           "number; 3 another instance is running. A preview ends as the pass would.\n"
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
           "\n"
           "More: man quorvel\n";
}

int Main(int argc, char** argv, const ConsoleEntry& console) {
    if (isOption(argc, argv, "--help")) return std::fputs(HelpText(), stdout), ExitSucceeded;
    if (isOption(argc, argv, "--version")) return std::printf("quorvel %s\n", QUORVEL_VERSION), ExitSucceeded;

    std::vector<const char*> arguments(argv, argv + argc);
    RunOptions options;
    if (!readOptions(arguments, options)) return ExitBadProfile;
    const StartRequest request = ReadStartRequest(CommandLineText(int(arguments.size()), arguments.data()));
    if (options.given && request.mode != StartRequest::Mode::Profile) {
        complain("the options need a PROFILE (see quorvel --help)");
        return ExitBadProfile;
    }
    const bool consoleMode = request.mode == StartRequest::Mode::Console;
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
    return runUnattended(request.profilePath, options);
}

}  // namespace qv
