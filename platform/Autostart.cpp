#include "platform/Autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tavimo {
namespace {

std::string Folder() { return ConfigHomeFolder() + "/autostart"; }

}  // namespace

std::string AutostartEntryPath() { return Folder() + "/tavimo.desktop"; }

bool AutostartEnabled() {
  std::ifstream in(AutostartEntryPath());
  if (!in) return false;
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
    else if (inEntry && line.rfind("Hidden=", 0) == 0 && line.substr(7) == "true") return false;
  }
  return true;
}

std::string AutostartExecLine(const std::string& program) {
  // Inside a quoted argument ", `, $ and \ take a backslash; the value as a whole is then a
  // string, whose own escaping doubles every backslash. A % must be %% for the field codes.
  std::string quoted = "\"";
  for (const char c : program) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7f) return {};
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '\\') quoted += "\\\\\\";
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\" -mini";
}

bool SetAutostart(bool on, const std::string& program, std::string& error) {
  const std::string path = AutostartEntryPath();
  if (!on) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    error = "Tavimo could not remove its start-up entry " + path + ": " + std::strerror(errno);
    return false;
  }
  const std::string exec = AutostartExecLine(program);
  if (program.empty() || exec.empty()) {
    error =
        "Tavimo cannot start with the session: the path of its program cannot be written "
        "in a start-up entry.";
    return false;
  }
  std::ostringstream entry;
  entry << "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tavimo\n"
           "Comment=Find, preview and save the Flash movies a web page uses\n"
           "Exec="
        << exec
        << "\n"
           "Icon=tavimo\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
  if (!EnsureFolder(Folder()) || !WriteFileAtomically(path, entry.str())) {
    error = "Tavimo could not write its start-up entry " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tavimo
