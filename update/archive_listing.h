#pragma once
// What an installed archiver says an archive holds, before it is allowed to unpack it: the
// technical listings of 7-Zip and HaoZip (`l -slt`) and of RAR (`lt`). The listing describes
// an archive from the server, so it is untrusted text; an entry is taken only when it is a
// plain file or folder whose name keeps it inside the destination folder.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

enum class ListingForm {
    kSevenZip,  // 7z.exe or HaoZipC.exe: l -slt
    kRar,       // Rar.exe or UnRAR.exe: lt
};

struct ListedEntry {
    std::string name;    // as listed, in the archiver's console code page
    bool plain = false;  // a file or a folder, and nothing else (no link, stream, device)
};

// The entries of a listing; nullopt when the text is not a listing of that form or lists
// nothing.
[[nodiscard]] std::optional<std::vector<ListedEntry>> ParseArchiveListing(ListingForm form,
                                                                          std::string_view text);

// True when a listed name stays inside the destination folder on Windows: not empty, not
// absolute, no drive letter or other ":", and every part between "/" or "\" a plain file
// name (no "." or "..", no device name, no characters Windows refuses or drops).
[[nodiscard]] bool IsSafeEntryName(std::string_view name);

// True when every entry is plain and safely named.
[[nodiscard]] bool ListingIsSafe(const std::vector<ListedEntry>& entries);

}  // namespace kivrel
