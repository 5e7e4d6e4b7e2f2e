#pragma once

namespace tavimo {

// The whole life of the process: the single-instance decision, the main window, the message
// loop. Returns the exit code, which is 0 in both the first- and the second-instance path.
int RunProgram(int argc, char** argv);

}  // namespace tavimo
