#include "tests/update/test_archives.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <string_view>

namespace kivrel::test {
namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// RAR 5's variable-length integer: seven bits a byte, low first, high bit set on all but the
// last.
void PutVint(std::string& out, std::uint64_t value) {
    do {
        std::uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value != 0) byte |= 0x80;
        out += static_cast<char>(byte);
    } while (value != 0);
}

constexpr std::uint64_t kRar5MainHeader = 1;
constexpr std::uint64_t kRar5FileHeader = 2;
constexpr std::uint64_t kRar5EndHeader = 5;
constexpr std::uint64_t kRar5HasExtraArea = 0x0001;
constexpr std::uint64_t kRar5HasDataArea = 0x0002;
constexpr std::uint64_t kRar5Directory = 0x0001;
constexpr std::uint64_t kRar5HasCrc = 0x0004;
constexpr std::uint64_t kRar5HostUnix = 1;
constexpr std::uint64_t kRar5RedirectionRecord = 5;
constexpr std::uint64_t kRar5UnixSymlink = 1;
constexpr std::uint64_t kRar5HardLink = 4;

// One header: CRC32 of what follows it, the size of what follows, then type, flags, the extra
// area's size and the data size when present, the type's own fields and the extra area.
std::string Rar5Header(std::uint64_t type, const std::string& fields, const std::string& extra,
                       bool hasData, std::uint64_t dataSize) {
    std::string body;
    PutVint(body, type);
    PutVint(body, (extra.empty() ? 0 : kRar5HasExtraArea) | (hasData ? kRar5HasDataArea : 0));
    if (!extra.empty()) PutVint(body, extra.size());
    if (hasData) PutVint(body, dataSize);
    body += fields;
    body += extra;
    std::string sized;
    PutVint(sized, body.size());
    sized += body;
    std::string header;
    PutLe(header, Crc32(sized), 4);
    return header + sized;
}

std::uint32_t UnixMode(const ArchiveEntry& entry) {
    switch (entry.kind) {
        case EntryKind::Folder:
            return S_IFDIR | entry.mode;
        case EntryKind::Symlink:
            return S_IFLNK | entry.mode;
        case EntryKind::CharDevice:
            return S_IFCHR | entry.mode;
        case EntryKind::Fifo:
            return S_IFIFO | entry.mode;
        case EntryKind::File:
        case EntryKind::Hardlink:
            break;
    }
    return S_IFREG | entry.mode;
}

}  // namespace

std::string StoredRar5(const std::vector<ArchiveEntry>& entries) {
    std::string out("Rar!\x1a\x07\x01\x00", 8);
    std::string archiveFlags;
    PutVint(archiveFlags, 0);
    out += Rar5Header(kRar5MainHeader, archiveFlags, "", false, 0);
    for (const ArchiveEntry& entry : entries) {
        std::string fields;
        PutVint(fields, (entry.kind == EntryKind::Folder ? kRar5Directory : 0) | kRar5HasCrc);
        PutVint(fields, entry.data.size());  // unpacked size
        PutVint(fields, UnixMode(entry));    // attributes
        PutLe(fields, Crc32(entry.data), 4);
        PutVint(fields, 0);  // compression: version 0, method 0 (stored)
        PutVint(fields, kRar5HostUnix);
        PutVint(fields, entry.name.size());
        fields += entry.name;
        std::string extra;
        if (entry.kind == EntryKind::Symlink || entry.kind == EntryKind::Hardlink) {
            std::string record;
            PutVint(record, kRar5RedirectionRecord);
            PutVint(record, entry.kind == EntryKind::Symlink ? kRar5UnixSymlink : kRar5HardLink);
            PutVint(record, 0);  // flags
            PutVint(record, entry.target.size());
            record += entry.target;
            PutVint(extra, record.size());
            extra += record;
        }
        out += Rar5Header(kRar5FileHeader, fields, extra, true, entry.data.size());
        out += entry.data;
    }
    std::string endFlags;
    PutVint(endFlags, 0);
    out += Rar5Header(kRar5EndHeader, endFlags, "", false, 0);
    return out;
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string StoredRar4(const std::string& name, const std::string& data) {
    auto block = [](std::uint8_t type, std::uint16_t flags, const std::string& rest) {
        std::string body;
        body += static_cast<char>(type);
        PutLe(body, flags, 2);
        PutLe(body, static_cast<std::uint32_t>(rest.size() + 7), 2);
        body += rest;
        std::string header;
        PutLe(header, Crc32(body) & 0xFFFFu, 2);
        return header + body;
    };
    std::string file;
    PutLe(file, static_cast<std::uint32_t>(data.size()), 4);  // packed size
    PutLe(file, static_cast<std::uint32_t>(data.size()), 4);  // unpacked size
    file += '\0';                                             // made on MS-DOS
    PutLe(file, Crc32(data), 4);
    PutLe(file, (44u << 25) | (5u << 21) | (1u << 16), 4);  // 2024-05-01 00:00:00, DOS form
    file += static_cast<char>(20);                          // version needed: 2.0
    file += static_cast<char>(0x30);                        // stored
    PutLe(file, static_cast<std::uint32_t>(name.size()), 2);
    PutLe(file, 0x20, 4);  // archive attribute
    file += name;
    return std::string("Rar!\x1a\x07\x00", 7) + block(0x73, 0, std::string(6, '\0')) +
           block(0x74, 0x8000, file) + data + block(0x7B, 0x4000, "");
}

namespace {

la_ssize_t AppendToString(archive*, void* out, const void* bytes, size_t size) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
    return static_cast<la_ssize_t>(size);
}

bool WriteData(archive* writer, const char* bytes, std::size_t size) {
    return size == 0 || archive_write_data(writer, bytes, size) == static_cast<la_ssize_t>(size);
}

}  // namespace

std::string WriteArchive(const char* format, const std::vector<ArchiveEntry>& entries) {
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind == EntryKind::Hardlink) return {};
    }
    std::string out;
    archive* writer = archive_write_new();
    bool written =
        archive_write_set_format_by_name(writer, format) == ARCHIVE_OK &&
        (std::string_view(format) != "zip" ||
         archive_write_set_format_option(writer, "zip", "compression-level", "1") == ARCHIVE_OK) &&
        archive_write_set_bytes_in_last_block(writer, 1) == ARCHIVE_OK &&
        archive_write_open2(writer, &out, nullptr, AppendToString, nullptr, nullptr) == ARCHIVE_OK;
    for (const ArchiveEntry& entry : entries) {
        if (!written) break;
        archive_entry* header = archive_entry_new();
        archive_entry_set_pathname(header, entry.name.c_str());
        archive_entry_set_mode(header, UnixMode(entry));
        archive_entry_set_size(header,
                               static_cast<la_int64_t>(entry.data.size() + entry.zeroBytes));
        if (entry.kind == EntryKind::Symlink) {
            archive_entry_set_symlink(header, entry.target.c_str());
        }
        written = archive_write_header(writer, header) == ARCHIVE_OK &&
                  WriteData(writer, entry.data.data(), entry.data.size());
        const std::string zeros(std::min<std::uint64_t>(entry.zeroBytes, 1 << 20), '\0');
        for (std::uint64_t left = entry.zeroBytes; written && left > 0;) {
            const std::size_t chunk = left < zeros.size() ? left : zeros.size();
            written = WriteData(writer, zeros.data(), chunk);
            left -= chunk;
        }
        archive_entry_free(header);
    }
    written = archive_write_close(writer) == ARCHIVE_OK && written;
    archive_write_free(writer);
    return written ? out : std::string();
}

}  // namespace kivrel::test
