#include "update/archive_listing.h"

#include "update/archive_names.h"

namespace kivrel {
namespace {

// Lines without their CR, one at a time.
class Lines {
public:
    explicit Lines(std::string_view text) : rest(text) {}
    [[nodiscard]] bool Next(std::string_view& line) {
        if (rest.empty()) return false;
        const std::size_t end = rest.find('\n');
        line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

private:
    std::string_view rest;
};

[[nodiscard]] std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// "Key = Value" (7-Zip) or "Key: Value" (RAR); false when the line is neither.
[[nodiscard]] bool SplitProperty(std::string_view line, std::string_view separator,
                                 std::string_view& key, std::string_view& value) {
    const std::size_t at = line.find(separator);
    if (at == std::string_view::npos) return false;
    key = Trimmed(line.substr(0, at));
    value = line.substr(at + separator.size());
    // The value is kept as it is but for the separator's own blank: names may end in blanks.
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return true;
}

// 7-Zip's attributes: the Windows letters, then (for archives from Unix) a blank and the mode
// as `ls -l` writes it.
[[nodiscard]] bool PlainAttributes(std::string_view attributes) {
    const std::size_t blank = attributes.find(' ');
    const std::string_view windows = attributes.substr(0, blank);
    // L: a reparse point (link, junction); d: a device.
    if (windows.find('L') != std::string_view::npos ||
        windows.find('d') != std::string_view::npos) {
        return false;
    }
    if (blank == std::string_view::npos) return true;
    const std::string_view mode = Trimmed(attributes.substr(blank + 1));
    return mode.empty() || mode.front() == '-' || mode.front() == 'd';
}

std::optional<std::vector<ListedEntry>> ParseSevenZip(std::string_view text) {
    Lines lines(text);
    std::string_view line;
    bool listing = false;
    while (!listing && lines.Next(line)) listing = line == "----------";
    if (!listing) return std::nullopt;
    std::vector<ListedEntry> entries;
    bool inEntry = false;
    while (lines.Next(line)) {
        std::string_view key;
        std::string_view value;
        if (line.empty() || !SplitProperty(line, " = ", key, value)) {
            inEntry = inEntry && !line.empty();
            continue;
        }
        if (key == "Path") {
            entries.push_back({std::string(value), true});
            inEntry = true;
            continue;
        }
        if (!inEntry) continue;
        ListedEntry& entry = entries.back();
        if (key == "Attributes") {
            entry.plain = entry.plain && PlainAttributes(value);
        } else if (key == "Symbolic Link" || key == "Hard Link") {
            entry.plain = entry.plain && Trimmed(value).empty();
        } else if (key == "Alternate Stream" || key == "Anti") {
            entry.plain = entry.plain && Trimmed(value) != "+";
        }
    }
    if (entries.empty()) return std::nullopt;
    return entries;
}

std::optional<std::vector<ListedEntry>> ParseRar(std::string_view text) {
    Lines lines(text);
    std::string_view line;
    std::vector<ListedEntry> entries;
    bool typed = false;
    const auto close = [&] {
        if (!entries.empty() && !typed) entries.back().plain = false;
    };
    while (lines.Next(line)) {
        std::string_view key;
        std::string_view value;
        if (!SplitProperty(line, ": ", key, value)) continue;
        if (key == "Name") {
            close();
            entries.push_back({std::string(value), true});
            typed = false;
        } else if (entries.empty()) {
            continue;
        } else if (key == "Type") {
            const std::string_view type = Trimmed(value);
            entries.back().plain = entries.back().plain && (type == "File" || type == "Directory");
            typed = true;
        } else if (key == "Target") {
            entries.back().plain = false;  // a link's
        }
    }
    close();
    if (entries.empty()) return std::nullopt;
    return entries;
}

}  // namespace

std::optional<std::vector<ListedEntry>> ParseArchiveListing(ListingForm form,
                                                            std::string_view text) {
    return form == ListingForm::kSevenZip ? ParseSevenZip(text) : ParseRar(text);
}

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.find(':') != std::string_view::npos) return false;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        const std::string_view part = name.substr(start, end - start);
        // Byte for byte into wide characters: every check is on ASCII, and bytes of other
        // code pages (GBK names) are never "." or a separator.
        std::wstring wide;
        for (const char c : part) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
        // A folder's name may be listed with its closing separator.
        const bool last = end == name.size();
        if (!(part.empty() && last && start > 0) && !IsSafeArchiveName(wide)) return false;
        start = end + 1;
    }
    return true;
}

bool ListingIsSafe(const std::vector<ListedEntry>& entries) {
    for (const ListedEntry& entry : entries) {
        if (!entry.plain || !IsSafeEntryName(entry.name)) return false;
    }
    return !entries.empty();
}

}  // namespace kivrel
