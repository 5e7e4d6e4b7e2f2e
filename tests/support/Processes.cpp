#include "tests/support/Processes.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tavimo::test {

using Clock = std::chrono::steady_clock;

std::string ProgramPath() {
  const char* dir = std::getenv("TAVIMO_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/tavimo";
}

pid_t Spawn(const std::vector<std::string>& args, bool keepStdout) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (!keepStdout) ::dup2(devnull, 1);
    ::dup2(devnull, 2);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return cond();
}

int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  int result = -1;
  WaitFor(
      [&] {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) != pid) return false;
        result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
      },
      limit);
  return result;
}

void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace tavimo::test
