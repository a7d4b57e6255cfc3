// %LOCALAPPDATA%\Kivrel: the profile's own folder, not roamed and not cleaned as the temp folder
// is.

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/user_data_folder.h"

namespace kivrel {
namespace {

[[nodiscard]] bool MakeFolder(const std::wstring& path, std::wstring& whyNot) {
    if (::CreateDirectoryW(path.c_str(), nullptr) != 0) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return true;
        }
        whyNot = L"Refusing to use " + path + L": it is not a plain folder.";
        return false;
    }
    whyNot = L"Cannot create " + path + L", Error:" + std::to_wstring(static_cast<int>(error));
    return false;
}

}  // namespace

std::wstring UserDataFolder(std::wstring& whyNot) {
    PWSTR base = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base);
    std::wstring folder = SUCCEEDED(result) && base != nullptr ? std::wstring(base) : L"";
    ::CoTaskMemFree(base);
    if (folder.empty()) {
        whyNot = L"The folder for the tool's records (LocalAppData) could not be found.";
        return {};
    }
    folder += L"\\Kivrel";
    if (!MakeFolder(folder, whyNot)) return {};
    return folder + L"\\";
}

std::wstring UserDataSubfolder(const std::wstring& folder, const std::wstring& name,
                               std::wstring& whyNot) {
    const std::wstring path = folder + name;
    if (!MakeFolder(path, whyNot)) return {};
    return path + L"\\";
}

}  // namespace kivrel
