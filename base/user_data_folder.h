#pragma once
// The per-user folder where the tool keeps what an owner may need later: the settings a unit
// had before an update, and what became of the unit's last update. Unlike the temp folder, the
// system does not clean it.

#include <string>

namespace kivrel {

// Windows: "%LOCALAPPDATA%\Kivrel\". Linux and macOS: "$XDG_DATA_HOME/kivrel/" or
// "~/.local/share/kivrel/", a folder only this user can read and write. Created when missing;
// ends in a separator. Empty when there is none, with `whyNot` saying why for the user.
[[nodiscard]] std::wstring UserDataFolder(std::wstring& whyNot);

// `folder` (ending in a separator) + `name` + a separator, created when missing and, on Linux
// and macOS, refused when it is a link or another user's. Empty with `whyNot` set on failure.
[[nodiscard]] std::wstring UserDataSubfolder(const std::wstring& folder, const std::wstring& name,
                                             std::wstring& whyNot);

}  // namespace kivrel
