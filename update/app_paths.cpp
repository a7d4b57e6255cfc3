#include "update/app_paths.h"

#include <array>

#include "update/archiver_commands.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

struct AppPathsArchiver {
    std::wstring_view keyPath;
    std::wstring_view executableName;
    ArchiverShape shape;
};

constexpr std::array<AppPathsArchiver, 3> kAppPathsArchivers = {{
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe", L"WinRar.exe",
     ArchiverShape::WinRar},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\HaoZip.exe", L"HaoZipC.exe",
     ArchiverShape::SevenZip},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\7zFM.exe", L"7z.exe",
     ArchiverShape::SevenZip},
}};

constexpr std::array<RegistryView, 2> kViews = {RegistryView::Native64, RegistryView::Wow32};

}  // namespace

std::wstring AppPathExecutable(std::wstring_view appPath, std::wstring_view executableName) {
    std::wstring executable(appPath);
    if (executable.empty() || executable.back() != L'\\') executable += L'\\';
    executable += executableName;
    return executable;
}

bool FindAppPathsArchiver(AppPathsSystem& system, const std::wstring& destinationFolder,
                          const std::wstring& archivePath, std::wstring& executable,
                          std::wstring& arguments) {
    for (const AppPathsArchiver& archiver : kAppPathsArchivers) {
        for (RegistryView view : kViews) {
            std::wstring appPath;
            if (!system.ReadAppPath(std::wstring(archiver.keyPath), view, appPath)) continue;
            // An empty value would name the drive's root folder; too long ones cannot be held.
            if (appPath.empty() || appPath.size() > kMaxPathChars) continue;
            std::wstring candidate = AppPathExecutable(appPath, archiver.executableName);
            if (candidate.size() > kMaxPathChars || !system.FileExists(candidate)) continue;
            if (archiver.shape == ArchiverShape::WinRar) system.MakeFolder(destinationFolder);
            arguments = ArchiverArguments(archiver.shape, archivePath, destinationFolder);
            executable = std::move(candidate);
            return true;
        }
    }
    return false;
}

}  // namespace kivrel
