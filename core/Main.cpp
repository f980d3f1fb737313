#include "core/Main.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/ErrorText.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/ProcessingPasses.h"
#include "platform/Error.h"
#include "platform/FileText.h"
#include "platform/InstanceLock.h"

namespace qv {
namespace {

void complain(const std::string& text) { std::fprintf(stderr, "quorvel: %s\n", text.c_str()); }

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

int runUnattended(const std::string& profile) {
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
    bool result = fetchTarget();
    if (result)
        result = m.objDirObjects->Item(1)->objectClass == "groupOfNames" ? ProcessOneDL(nullptr)
                                                                           : ProcessContainer(nullptr);
    ExitProgram(false);
    return result ? ExitSucceeded : ExitFailed;
}

bool isOption(int argc, char** argv, const char* option) { return argc == 2 && std::strcmp(argv[1], option) == 0; }

}  // namespace

const char* HelpText() {
    return "Usage: quorvel [PROFILE]\n"
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
           "\n"
           "Exit status: 0 the pass succeeded; 1 it failed (target not found, no Quorvel DL\n"
           "in the container, or a DL failed); 2 the profile cannot be read or names no\n"
           "target; 3 another instance is running.\n"
           "\n"
           "Log: the system journal, identifier Quorvel:\n"
           "  journalctl -t Quorvel -x           the entries, with what each kind means\n"
           "  journalctl -t Quorvel -p warning   only warnings and errors\n"
           "\n"
           "Environment:\n"
           "  QUORVEL_EVENT_LOG=FILE             also append each entry to FILE as JSON\n"
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

    const StartRequest request = ReadStartRequest(CommandLineText(argc, argv));
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
    return runUnattended(request.profilePath);
}

}  // namespace qv
