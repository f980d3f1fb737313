// The quorvel executable: the unattended run with a profile, or the console.
#include "core/Main.h"

#ifdef QUORVEL_HAVE_CONSOLE
#include "console/ConsoleMain.h"
#endif

int main(int argc, char** argv) {
    qv::ConsoleEntry console;
#ifdef QUORVEL_HAVE_CONSOLE
    console.run = qv::RunConsole;
    console.showPreviousInstanceMessage = qv::ShowPreviousInstanceMessage;
#endif
    return qv::Main(argc, argv, console);
}
