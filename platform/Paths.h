#pragma once
// Per-user file locations. Every path follows the XDG variables at the moment of the call,
// so tests point them at temporary folders by setting the variables.
#include <string>

namespace tavimo {

std::string HomeFolder();
// $XDG_CACHE_HOME (default ~/.cache), where Tavimo and the browsers keep their caches.
std::string CacheHomeFolder();
// $XDG_CONFIG_HOME (default ~/.config).
std::string ConfigHomeFolder();
// $XDG_CONFIG_HOME/tavimo/info.ini (default ~/.config/tavimo/info.ini).
std::string SettingsFilePath();
// $XDG_RUNTIME_DIR/tavimo, or $XDG_CACHE_HOME/tavimo when there is no runtime folder.
std::string RuntimeFolder();
// RuntimeFolder() + "/swf.txt": the link list file.
std::string LinkListFilePath();
// The user's download folder (XDG DOWNLOAD, usually ~/Downloads) + "/flash", no trailing "/".
std::string DefaultRootFolder();
// DefaultRootFolder() + "/": the download root a fresh install starts with.
std::string DefaultDownloadRoot();
// $XDG_RUNTIME_DIR/tavimo.lock, or /tmp/tavimo-<uid>.lock without a runtime folder.
std::string InstanceLockPath();
// The installed help page, or the one of the source tree when run from the build tree.
std::string HelpPagePath();

// The running program's own file (/proc/self/exe); empty when it cannot be read.
std::string RunningProgramPath();

// Creates a folder and its missing parents (`mode`, less the umask, for the ones created); true
// when it exists.
bool EnsureFolder(const std::string& path, unsigned mode = 0700);

}  // namespace tavimo
