#pragma once
// The folder for the version file and the staging folders.

#include <string>

namespace kivrel {

// Windows: the system's temp path (GetTempPathW), ending in a backslash.
// Linux and macOS: a folder only this user can write, "$XDG_CACHE_HOME/kivrel" or
// "~/.cache/kivrel", created with mode 0700 when missing, ending in "/". The shared /tmp is
// never used, since another user could have put a file or a link there first.
// Empty when no such folder can be had; `whyNot` then says why, for the user.
[[nodiscard]] std::wstring TempFolder(std::wstring& whyNot);
[[nodiscard]] std::wstring TempFolder();

}  // namespace kivrel
