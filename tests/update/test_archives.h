#pragma once
// Archives built in the tests: stored RAR 5 and RAR 4 archives written here from the
// published format (no RAR writer is packaged), and zip and 7z archives through libarchive's
// writer. Each can carry entries no honest database archive holds: names that leave the
// folder, links, devices.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kivrel::test {

[[nodiscard]] std::uint32_t Crc32(const std::string& bytes);

enum class EntryKind { File, Folder, Symlink, Hardlink, CharDevice, Fifo };

struct ArchiveEntry {
    std::string name;
    std::string data;  // a file's contents
    EntryKind kind = EntryKind::File;
    std::string target;           // a link's target
    std::uint32_t mode = 0644;    // permission bits (setuid and the like included)
    std::uint64_t zeroBytes = 0;  // WriteArchive only: this many zero bytes follow `data`
};

[[nodiscard]] inline ArchiveEntry File(std::string name, std::string data,
                                       std::uint32_t mode = 0644) {
    return {std::move(name), std::move(data), EntryKind::File, {}, mode, 0};
}
// A file of `size` zero bytes (WriteArchive only).
[[nodiscard]] inline ArchiveEntry ZeroFile(std::string name, std::uint64_t size) {
    return {std::move(name), {}, EntryKind::File, {}, 0644, size};
}
[[nodiscard]] inline ArchiveEntry Folder(std::string name, std::uint32_t mode = 0755) {
    return {std::move(name), {}, EntryKind::Folder, {}, mode, 0};
}
[[nodiscard]] inline ArchiveEntry Link(EntryKind kind, std::string name, std::string target) {
    return {std::move(name), {}, kind, std::move(target), 0777, 0};
}
[[nodiscard]] inline ArchiveEntry Special(EntryKind kind, std::string name) {
    return {std::move(name), {}, kind, {}, 0666, 0};
}

// A RAR 5 archive with every file stored, made on a Unix host so that the mode travels:
// signature, main archive header, one file header per entry (data CRC32, the Unix mode as
// attributes, links as file system redirection records), end of archive header.
[[nodiscard]] std::string StoredRar5(const std::vector<ArchiveEntry>& entries);

// A RAR 4 (2.x block format) archive holding one stored file.
[[nodiscard]] std::string StoredRar4(const std::string& name, const std::string& data);

// A zip ("zip"), 7z ("7zip") or tar ("ustar") archive written by libarchive. Entries a format
// cannot carry (hardlinks, which both would store as plain files, and devices and fifos in zip)
// make it return an empty string. Zip data is deflated at the fastest level.
[[nodiscard]] std::string WriteArchive(const char* format,
                                       const std::vector<ArchiveEntry>& entries);

}  // namespace kivrel::test
