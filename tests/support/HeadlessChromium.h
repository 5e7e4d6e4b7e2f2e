#pragma once
// A real browser cache for the cache search suites: Debian's chromium, headless, loads a page
// from a test server on 127.0.0.1 in a temporary home, lets the page's scripts finish their
// fetches and ends cleanly, so its Simple Cache entries are whole on disk where a user's would be
// ($XDG_CACHE_HOME/chromium/Default/Cache/Cache_Data).
#include <chrono>
#include <string>
#include <vector>

namespace tavimo::test {

// The chromium program on PATH; "" when it is not installed (suites skip then).
std::string ChromiumProgram();

// Below `home` (laid out as TempHome does: config/ and cache/ inside it).
std::string ChromiumProfileFolder(const std::string& home);  // home/config/chromium
std::string ChromiumCacheFolder(const std::string& home);    // .../Default/Cache/Cache_Data

// Loads `pageUrl` with HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME inside `home`, every address
// but loopback sent to a dead proxy. Returns when the browser has ended by itself after the
// page's network went quiet. False with a reason in `error` when chromium is missing, does not
// start, fails, outlives `limit` (then it is killed), or when the final page's title lacks
// `doneText` (the page's script writes it there once its fetches are done).
bool FillChromiumCache(const std::string& home, const std::string& pageUrl, const std::string& doneText,
                       std::string& error, std::chrono::seconds limit = std::chrono::seconds(60));

// The entry files ("<16 hex>_0") of the cache folder, sorted.
std::vector<std::string> ChromiumEntryFiles(const std::string& home);

// Removes what the browser left below `home` (profile and cache).
void RemoveChromiumFolders(const std::string& home);

// The command line FillChromiumCache runs (for reports and failure messages).
std::vector<std::string> ChromiumCommand(const std::string& home, const std::string& pageUrl);

// A page's script that fetches every URL of the JavaScript array expression `urls` (relative
// to the page) and then sets the title to "movies fetched", or to "fetch failed <url> <status>":
// the text FillChromiumCache waits for.
std::string FetchAllScript(const std::string& urls);

}  // namespace tavimo::test
