#pragma once
// The entry routine of Quillon.
//
// It makes sure only one copy runs (a second start brings the running window forward and ends with
// exit code 1), points the UI library at the "res" folder beside the executable, creates the main
// window (800 x 572, centred) and runs the message loop until the window is destroyed: by the tray
// menu's "exit", or by SIGTERM / SIGINT, which take the same way out. It returns the exit code:
// 0 after a normal run, 1 when another copy was running.

namespace quillon {

int RunQuillon(int argc, char** argv);

}  // namespace quillon
