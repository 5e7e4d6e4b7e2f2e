#pragma once
// Real processes for the desktop suites: the built program started with arguments, and waits
// with a generous limit (a hang check, never a timing target).
#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavimo::test {

// The built `tavimo` (TAVIMO_BINARY_DIR, else the working folder).
std::string ProgramPath();

// Starts `args[0]` (looked up on PATH) with the rest as its arguments; its stderr (and its stdout
// too, unless `keepStdout`) goes to /dev/null.
pid_t Spawn(const std::vector<std::string>& args, bool keepStdout = false);

// Polls the condition every 10 ms until it holds or the limit has passed; its last answer.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Waits for the process to end: its exit code, 128 + the signal that ended it, or -1 when it
// is still running at the limit.
int WaitExit(pid_t pid, std::chrono::milliseconds limit);

// Kills and reaps the process (nothing when it has already ended).
void KillAndReap(pid_t pid);

}  // namespace tavimo::test
