// Archive names come from the server. A name accepted as safe must name a file directly
// inside the staging folder.

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/archive_names.h"
#include "update/staging_paths.h"
#include "update/update_file_search.h"

namespace {

using kivrel::kPathSeparator;

void CheckSafeName(const std::wstring& name) {
    if (!kivrel::IsSafeArchiveName(name)) return;  // refusing is always allowed
    if (name.empty() || name.size() > kivrel::kMaxArchiveNameChars) __builtin_trap();
    if (name == L"." || name.find(L"..") != std::wstring::npos) __builtin_trap();
    if (name.find_first_of(L"/\\:") != std::wstring::npos) __builtin_trap();
    std::wstring folder;
    const std::wstring temp = std::wstring(L"k") + kPathSeparator;
    if (!kivrel::MakeStagingFolderPath(temp, kivrel::BaseNameOf(name), folder)) __builtin_trap();
    const std::wstring archive = kivrel::JoinPath(folder, name);
    // Nothing but the base name folder and the name itself below the temp folder.
    if (archive.rfind(temp, 0) != 0) __builtin_trap();
    const std::wstring below = archive.substr(temp.size());
    const std::size_t separator = below.find(kPathSeparator);
    if (below.find(kPathSeparator,
                   separator == std::wstring::npos ? below.size() : separator + 1) !=
        std::wstring::npos) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // UTF-16LE code units: any text a server's name could decode to, controls included.
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    }
    CheckSafeName(text);
    static_cast<void>(kivrel::ArchiveTypeOf(text));
    static_cast<void>(kivrel::IsUpdateFilePath(text));
    return 0;
}
