#pragma once
// Finding WinRAR, HaoZip or 7-Zip through the registry's App Paths keys. Portable: the
// Windows edge reads the registry behind AppPathsSystem.

#include <string>
#include <string_view>

namespace kivrel {

// The two views of HKEY_LOCAL_MACHINE on 64-bit Windows: 32-bit archivers register in the
// 32-bit one (WOW6432Node). On 32-bit Windows both are the same.
enum class RegistryView { Native64, Wow32 };

// An App Paths "Path" value followed by the executable's name, with one backslash between.
[[nodiscard]] std::wstring AppPathExecutable(std::wstring_view appPath,
                                             std::wstring_view executableName);

// What the App Paths lookup asks of the system.
class AppPathsSystem {
public:
    virtual ~AppPathsSystem() = default;
    // The "Path" value of a key under HKEY_LOCAL_MACHINE in one view, read with read access.
    [[nodiscard]] virtual bool ReadAppPath(const std::wstring& keyPath, RegistryView view,
                                           std::wstring& value) = 0;
    [[nodiscard]] virtual bool FileExists(const std::wstring& path) = 0;
    // Creates a folder; an existing one is fine and a failure is ignored.
    virtual void MakeFolder(const std::wstring& path) = 0;
};

// WinRAR, then HaoZip, then 7-Zip, each found by its App Paths key in the 64-bit view or else
// the 32-bit one; the first whose executable exists wins. WinRAR's destination folder is
// created beforehand, the others create it themselves. False, leaving the outputs unchanged,
// when none is installed.
[[nodiscard]] bool FindAppPathsArchiver(AppPathsSystem& system,
                                        const std::wstring& destinationFolder,
                                        const std::wstring& archivePath, std::wstring& executable,
                                        std::wstring& arguments);

}  // namespace kivrel
