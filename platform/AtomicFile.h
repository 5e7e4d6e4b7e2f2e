#pragma once
// Replaces a file whole: the bytes go to a temporary file in the same folder, which is flushed,
// synced and then renamed over the target. A reader, or a crash at any moment, sees the old
// file or the new one, never a part of either.
#include <functional>
#include <string>
#include <string_view>

namespace tavimo {

// Returns false (target untouched, temporary removed) when any step fails; errno tells why.
// beforeRename, when set, runs after the data is synced and before the rename (tests use it
// to interrupt a save at its most delicate moment).
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::function<void()>& beforeRename = {});

}  // namespace tavimo
