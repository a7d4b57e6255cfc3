#pragma once
// Windows only: the registry and file checks behind the App Paths lookup of archivers.

#include <string>

#include "update/app_paths.h"

namespace kivrel {

// True when the path is not empty and names a file that can be opened for reading.
[[nodiscard]] bool FileExists(const std::wstring& path);
// The "Path" value of the key under HKEY_LOCAL_MACHINE in the given view. The key is opened
// for reading only: a standard user may not have more under HKEY_LOCAL_MACHINE. False when
// the key or value is missing, or when the value is longer than kMaxPathChars.
[[nodiscard]] bool ReadAppPath(const std::wstring& keyPath, RegistryView view, std::wstring& value);

}  // namespace kivrel
