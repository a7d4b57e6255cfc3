#include "net/partial_download.h"

#include <limits>
#include <span>
#include <vector>

#include "base/local_file.h"
#include "base/text.h"
#include "net/http_headers.h"

namespace kivrel {
namespace {

constexpr std::string_view kFirstLine = "kivrel-partial 1";
constexpr std::size_t kRecordLimit = 16 * 1024;

[[nodiscard]] bool IsPlainLine(std::string_view text) noexcept {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

}  // namespace

std::string WritePartialRecord(const PartialRecord& record) {
    std::string text(kFirstLine);
    text += "\nurl=" + record.url;
    text += "\nvalidator=" + record.validator;
    text += "\nlength=" + std::to_string(record.length);
    text += "\n";
    return text;
}

std::optional<PartialRecord> ParsePartialRecord(std::string_view text) {
    if (text.size() > kRecordLimit) return std::nullopt;
    PartialRecord record;
    bool haveUrl = false;
    bool haveValidator = false;
    bool haveLength = false;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // always ends in a line end
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!IsPlainLine(line)) return std::nullopt;
        if (first) {
            if (line != kFirstLine) return std::nullopt;
            first = false;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "url" && !haveUrl) {
            record.url = value;
            haveUrl = true;
        } else if (key == "validator" && !haveValidator) {
            record.validator = value;
            haveValidator = true;
        } else if (key == "length" && !haveLength) {
            const auto length = ParseDecimalCount(value);
            if (!length) return std::nullopt;
            record.length = *length;
            haveLength = true;
        } else {
            return std::nullopt;
        }
    }
    if (!haveUrl || !haveValidator || !haveLength || record.url.empty() ||
        record.validator.empty() || record.length == 0) {
        return std::nullopt;
    }
    return record;
}

PartialDownload PreparePartialDownload(const std::wstring& archivePath, const std::wstring& url) {
    PartialDownload partial;
    partial.url = url;
    partial.archivePath = archivePath;
    partial.partPath = archivePath + L".part";
    partial.recordPath = archivePath + L".part.info";

    std::vector<std::uint8_t> bytes;
    std::optional<PartialRecord> record;
    if (ReadFilePrefix(partial.recordPath, kRecordLimit + 1, bytes)) {
        record = ParsePartialRecord({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
    const std::optional<std::uint64_t> partLength = FileLength(partial.partPath);
    const bool resumable = record && partLength && record->url == WideToUtf8(url) &&
                           *partLength > 0 && *partLength < record->length &&
                           *partLength <= std::numeric_limits<std::uint32_t>::max();
    if (resumable) {
        partial.resumeOffset = static_cast<std::uint32_t>(*partLength);
        partial.validator = record->validator;
        partial.recordedLength = record->length;
    } else {
        DiscardPartialDownload(partial);
    }
    return partial;
}

std::uint32_t CompletePartialDownload(const PartialDownload& partial) {
    const std::uint32_t error = MoveFileOver(partial.partPath, partial.archivePath);
    if (error == 0) RemoveFile(partial.recordPath);
    return error;
}

void DiscardPartialDownload(const PartialDownload& partial) {
    RemoveFile(partial.partPath);
    RemoveFile(partial.recordPath);
}

}  // namespace kivrel
