#pragma once
// The program's start: the unattended run with a profile, or the console.
#include <functional>

namespace qv {

// What the console offers the start-up; empty members when it is not built.
struct ConsoleEntry {
    std::function<int(int, char**)> run;                        // shows the console until it closes
    std::function<void(int, char**)> showPreviousInstanceMessage;  // the single-instance message box
};

// Exit statuses of an unattended run.
inline constexpr int ExitSucceeded = 0;      // the pass succeeded
inline constexpr int ExitFailed = 1;         // target not found, no Quorvel DL, or a DL failed
inline constexpr int ExitBadProfile = 2;     // a profile that cannot be read or has no target
inline constexpr int ExitOtherInstance = 3;  // another instance is running

// Reads the command line and runs the program; returns the process's exit status.
int Main(int argc, char** argv, const ConsoleEntry& console);

// The text of --help.
const char* HelpText();

}  // namespace qv
