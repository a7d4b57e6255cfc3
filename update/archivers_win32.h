#pragma once
// Windows only: the registry and file checks behind the App Paths lookup of archivers.

#include <string>

namespace kivrel {

// True when the path is not empty and names a file that can be opened for reading.
[[nodiscard]] bool FileExists(const std::wstring& path);
// The "Path" value of the key under HKEY_LOCAL_MACHINE, opened with full access rights (a key
// that refuses them counts as missing). False when the key or value is missing, or when the
// value is longer than kMaxPathChars.
[[nodiscard]] bool ReadAppPath(const std::wstring& keyPath, std::wstring& value);

}  // namespace kivrel
