// Archive names come from the server; the argument text carries paths to archivers. A name
// accepted as safe must name a file directly inside the staging folder, and every path put
// into an argument text must come back whole when the text is split.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/staging.h"

namespace {

using kivrel::ArchiverArguments;
using kivrel::ArchiverShape;
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

void CheckRoundTrip(std::wstring archive, std::wstring destination) {
    std::erase(archive, L'"');
    std::erase(destination, L'"');
    const std::wstring folder = kivrel::JoinPath(destination, L"");
    const std::vector<std::pair<ArchiverShape, std::vector<std::wstring>>> shapes = {
        {ArchiverShape::WinRar, {L"x", L"-o+", L"-y", L"-IBCK", archive, L"*.*", destination}},
        {ArchiverShape::SevenZip, {L"x", archive, L"-aoa", L"-y", L"-o" + destination}},
        {ArchiverShape::Unrar, {L"x", L"-o+", L"-y", L"-idq", archive, folder}},
        {ArchiverShape::UnrarFree, {L"-x", L"-f", archive, folder}},
    };
    for (const auto& [shape, pieces] : shapes) {
        if (kivrel::SplitArguments(ArchiverArguments(shape, archive, destination)) != pieces) {
            __builtin_trap();
        }
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
    CheckRoundTrip(text.substr(0, text.size() / 2), text.substr(text.size() / 2));
    return 0;
}
