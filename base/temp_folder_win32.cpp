// The system's temp path, as the downloader and the staging folders have always used it.

#include <windows.h>

#include "base/temp_folder.h"

namespace kivrel {

std::wstring TempFolder(std::wstring& whyNot) {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) {
        whyNot = L"The temporary folder could not be found, Error:" +
                 std::to_wstring(static_cast<int>(::GetLastError()));
        return {};
    }
    return std::wstring(path, length);
}

std::wstring TempFolder() {
    std::wstring whyNot;
    return TempFolder(whyNot);
}

}  // namespace kivrel
