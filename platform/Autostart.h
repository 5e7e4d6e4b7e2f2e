#pragma once
// "Start with the session": an XDG autostart entry ($XDG_CONFIG_HOME/autostart/tavimo.desktop)
// that starts Tavimo hidden (-mini) when the user logs in. The entry itself is the setting:
// it exists only while the user wants it, so removing it by hand or in the desktop's own
// start-up settings is seen the next time the options are opened.
#include <string>
#include <vector>

namespace tavimo {

std::string AutostartEntryPath();

// True when the entry exists and the desktop would run it (not "Hidden=true").
bool AutostartEnabled();

// The Exec value that starts `program` with -mini, quoted and escaped as desktop entries want
// it; empty when the path cannot be written in one (a line break or another control byte, or
// bytes that are not UTF-8, which a desktop entry must be).
std::string AutostartExecLine(const std::string& program);

// Reads an entry as the desktop does when it loads one (UTF-8 throughout, the Exec value's
// string escapes, then its field codes, then its quoting) and gives the program and arguments
// it would run; false with the reason when the desktop would refuse the entry, or when it asks
// for a field code other than %% (a start-up entry has no files or addresses to fill one with).
bool DesktopEntryCommand(const std::string& entry, std::vector<std::string>& argv, std::string& why);

// Writes the entry for `program` (replacing the file whole) or removes it. False with a
// sentence for the user when that fails; nothing half-written is left either way.
bool SetAutostart(bool on, const std::string& program, std::string& error);

}  // namespace tavimo
