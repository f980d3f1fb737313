#pragma once
// The console's entry points for the program's start-up.

namespace qv {

// Runs the console: the splash screen, the settings from the user's store,
// the main window (which may connect to the last server), then the event
// loop until the main window closes. Returns the event loop's exit code.
int RunConsole(int argc, char** argv);

// The message for a start while another instance runs: "A previous instance
// of Quorvel is running.", title "Error", stop icon, OK.
void ShowPreviousInstanceMessage(int argc, char** argv);

}  // namespace qv
