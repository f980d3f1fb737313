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
           "Keeps query-defined distribution lists in an LDAP directory up to date.\n"
           "\n"
           "With PROFILE, runs unattended: reads the INI profile, binds to the server of\n"
           "its [General] Target and processes that DL, or every Quorvel DL below it when\n"
           "the target is a container, then ends. A PROFILE without \"/\" names a file in\n"
           "the program's folder. Without PROFILE, opens the desktop console.\n"
           "\n"
           "Profile (sections and keys are read without regard to case):\n"
           "  [General]        Target        ADsPath of a DL or container, e.g.\n"
           "                                 LDAP://ldap.example.com/cn=Recipients,ou=Site,o=Org\n"
           "                   LoggingLevel  0 minimum (default), 1 summary, 2 maximum\n"
           "                   Field         attribute holding the definition\n"
           "                                 (default extension-attribute-15)\n"
           "                   Prefix        prefix of a definition (default QVL=)\n"
           "  [Authentication] User          account name, or ##CurrentUser## (default)\n"
           "                                 for an anonymous or SASL bind\n"
           "                   Password      the account's password (keep the file mode 600)\n"
           "                   Domain        the account's domain: binds as dc=DOMAIN,cn=USER\n"
           "                   Admin         true: binds as dc=DOMAIN,cn=USER,cn=admin\n"
           "\n"
           "Exit status: 0 the pass succeeded; 1 it failed (target not found, no Quorvel DL\n"
           "in the container, or a DL failed); 2 the profile cannot be read or names no\n"
           "target; 3 another instance is running.\n"
           "\n"
           "Log entries go to the system journal (journalctl -t Quorvel) and, when the\n"
           "environment variable QUORVEL_EVENT_LOG names a file, to that file as JSON lines.\n";
}

int Main(int argc, char** argv, const ConsoleEntry& console) {
    if (isOption(argc, argv, "--help")) return std::fputs(HelpText(), stdout), ExitSucceeded;
    if (isOption(argc, argv, "--version")) return std::printf("quorvel %s\n", QUORVEL_VERSION), ExitSucceeded;

    const StartRequest request = ReadStartRequest(CommandLineText(argc, argv));
    const bool consoleMode = request.mode == StartRequest::Mode::Console;
    if (platform::previousInstanceRunning("quorvel")) {
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
