#include "platform/Autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace tavimo {
namespace {

std::string Folder() { return ConfigHomeFolder() + "/autostart"; }

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int more = b >= 0xC2 && b <= 0xDF   ? 1
                     : b >= 0xE0 && b <= 0xEF ? 2
                     : b >= 0xF0 && b <= 0xF4 ? 3
                                              : -1;
    if (more < 0 || i + static_cast<std::size_t>(more) >= s.size()) return false;
    unsigned lo = 0x80, hi = 0xBF;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
    for (int k = 1; k <= more; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
    }
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

// The value of `key` in the [Desktop Entry] group, as written; false when it has none.
bool EntryValue(const std::string& entry, const std::string& key, std::string& value) {
  std::size_t pos = 0;
  bool inEntry = false;
  while (pos < entry.size()) {
    std::size_t end = entry.find('\n', pos);
    if (end == std::string::npos) end = entry.size();
    const std::string line = entry.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inEntry || eq == std::string::npos) continue;
    std::string name = line.substr(0, eq);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name != key) continue;
    const auto start = line.find_first_not_of(' ', eq + 1);
    value = start == std::string::npos ? std::string() : line.substr(start);
    return true;
  }
  return false;
}

}  // namespace

bool DesktopEntryCommand(const std::string& entry, std::vector<std::string>& argv, std::string& why) {
  argv.clear();
  if (!IsUtf8(entry)) {
    why = "it is not UTF-8 text";
    return false;
  }
  std::string raw;
  if (!EntryValue(entry, "Exec", raw)) {
    why = "it has no Exec line";
    return false;
  }
  // 1. The value is a string: \s \n \t \r \\ and nothing else after a backslash.
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      value += raw[i];
      continue;
    }
    const char c = ++i < raw.size() ? raw[i] : '\0';
    if (c == 's') value += ' ';
    else if (c == 'n') value += '\n';
    else if (c == 't') value += '\t';
    else if (c == 'r') value += '\r';
    else if (c == '\\') value += '\\';
    else {
      why = "its Exec value has an invalid escape sequence";
      return false;
    }
  }
  // 2. Field codes: %% is a percent sign; a start-up entry has no files or URLs to give.
  std::string command;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      command += value[i];
      continue;
    }
    if (i + 1 < value.size() && value[i + 1] == '%') {
      command += '%';
      ++i;
      continue;
    }
    why = "its Exec value has a percent sign that is not %% (a field code, or none the desktop knows)";
    return false;
  }
  // 3. Arguments: separated by spaces, quoted with "..." where a backslash may only precede
  // " ` $ or \; outside quotes the reserved characters are not allowed.
  static constexpr std::string_view kReserved = "\t\n\"'\\><~|&;$*?#()`";
  for (std::size_t i = 0; i < command.size();) {
    if (command[i] == ' ') {
      ++i;
      continue;
    }
    std::string arg;
    if (command[i] == '"') {
      bool closed = false;
      for (++i; i < command.size(); ++i) {
        const char c = command[i];
        if (c == '"') {
          closed = true;
          ++i;
          break;
        }
        if (c == '\\') {
          const char next = i + 1 < command.size() ? command[i + 1] : '\0';
          if (next != '"' && next != '`' && next != '$' && next != '\\') {
            why = "its Exec value has a backslash that escapes nothing";
            return false;
          }
          arg += next;
          ++i;
          continue;
        }
        arg += c;
      }
      if (!closed || (i < command.size() && command[i] != ' ')) {
        why = "its Exec value has a quote that is not closed where the argument ends";
        return false;
      }
    } else {
      for (; i < command.size() && command[i] != ' '; ++i) {
        if (kReserved.find(command[i]) != std::string_view::npos) {
          why = "its Exec value has a reserved character outside quotes";
          return false;
        }
        arg += command[i];
      }
    }
    argv.push_back(std::move(arg));
  }
  if (argv.empty()) {
    why = "its Exec value is empty";
    return false;
  }
  return true;
}

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
  if (!IsUtf8(program)) return {};
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
    error = !IsUtf8(program) ? "Tavimo cannot start with the session: the path of its program (" + program +
                                   ") is not UTF-8 text, which the desktop needs in a start-up entry."
                             : "Tavimo cannot start with the session: the path of its program cannot be "
                               "written in a start-up entry.";
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
  // What the desktop will make of the entry decides, not what we meant to write: it must run
  // this very program with -mini, or the option would say "on" for an entry that does nothing.
  const auto runsThisProgram = [&program](const std::string& text, std::string& why) {
    std::vector<std::string> argv;
    if (!DesktopEntryCommand(text, argv, why)) return false;
    if (argv == std::vector<std::string>{program, "-mini"}) return true;
    why = "it would run another command";
    return false;
  };
  std::string why;
  if (!runsThisProgram(entry.str(), why)) {
    error =
        "Tavimo cannot start with the session: the desktop would refuse its start-up entry (" + why + ").";
    return false;
  }
  if (!EnsureFolder(Folder()) || !WriteFileAtomically(path, entry.str())) {
    error = "Tavimo could not write its start-up entry " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (written != entry.str() || !runsThisProgram(written, why)) {
    ::unlink(path.c_str());
    error =
        "Tavimo could not write its start-up entry " + path + ": what was written reads back differently.";
    return false;
  }
  return true;
}

}  // namespace tavimo
