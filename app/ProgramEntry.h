#pragma once

namespace tavimo {

class TFrmTavimo;
class THttpMovieFetcher;

// Every movie the preview cannot show (not fetched, too large) is said in the window's status
// panel, with its reason. `window` may be null (not yet created, or gone).
void SayPreviewFailures(THttpMovieFetcher& fetcher, TFrmTavimo* const& window);

// The whole life of the process: the single-instance decision, the main window, the message
// loop. Returns the exit code, which is 0 in both the first- and the second-instance path.
// "--help" (or "-h") as the first parameter prints the usage and returns 0 (1 when it could
// not be written) without starting anything.
int RunProgram(int argc, char** argv);

}  // namespace tavimo
