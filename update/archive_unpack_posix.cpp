// Unpacking with libarchive on Linux and macOS. Every folder and file is opened or created
// below the destination folder's handle with O_NOFOLLOW, and every file with O_EXCL after the
// name was cleared, so nothing already on disk is followed or written through.

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include "update/archive_unpack.h"
#ifdef __APPLE__
#include <xlocale.h>
#endif

#include <algorithm>
#include <cerrno>

#include "base/native_path.h"
#include "base/unique_resource.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

using Clock = std::chrono::steady_clock;

struct FdTraits {
    using Native = int;
    static Native Invalid() noexcept { return -1; }
    static void Close(Native fd) noexcept { ::close(fd); }
};
using UniqueFd = UniqueResource<FdTraits>;

struct ReaderTraits {
    using Native = archive*;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native reader) noexcept { archive_read_free(reader); }
};
using UniqueReader = UniqueResource<ReaderTraits>;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::size_t kReadBlockBytes = 64 * 1024;

// libarchive converts names to the locale's character set, which fails for every name that is
// not ASCII in the C locale a program starts in. This thread uses a UTF-8 locale while it
// unpacks, so Unicode names arrive as UTF-8 whatever locale the program runs in.
class ThreadUtf8Locale {
public:
    ThreadUtf8Locale() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "UTF-8"}) {
            utf8 = ::newlocale(LC_CTYPE_MASK, name, kNoLocale);
            if (utf8 != kNoLocale) break;
        }
        if (utf8 != kNoLocale) previous = ::uselocale(utf8);
    }
    ~ThreadUtf8Locale() {
        if (utf8 == kNoLocale) return;
        ::uselocale(previous);
        ::freelocale(utf8);
    }
    ThreadUtf8Locale(const ThreadUtf8Locale&) = delete;
    ThreadUtf8Locale& operator=(const ThreadUtf8Locale&) = delete;

private:
    static constexpr locale_t kNoLocale{};
    locale_t utf8 = kNoLocale;
    locale_t previous = kNoLocale;
};

// UTF-8 where the archive knows the characters (7z, RAR, zip's UTF-8 names); else the bytes as
// stored (zip names in a legacy code page such as GBK), which native paths carry unchanged.
[[nodiscard]] const char* EntryName(archive_entry* entry) {
    if (const char* utf8 = archive_entry_pathname_utf8(entry)) return utf8;
    return archive_entry_pathname(entry);
}

[[nodiscard]] bool WriteAt(int file, const void* data, std::size_t size, std::uint64_t offset) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(file, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

// The destination folder, created (owner only) when missing; invalid when it is a link or
// anything else that is not a real folder.
[[nodiscard]] UniqueFd OpenDestination(const std::wstring& folder) {
    std::string native;
    if (!SystemStagingFiles().MakeFolder(folder) || !NativeFromWide(folder, native)) return {};
    // A trailing "/" would make the last component followed even with O_NOFOLLOW.
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return UniqueFd(::open(native.c_str(), kFolderFlags));
}

class Unpacker {
public:
    // `pathRoom`: how long, in bytes, the folders below the destination may be, each counted
    // with its separator.
    Unpacker(int root, std::size_t pathRoom, const std::atomic<std::int32_t>& stopRequested,
             const UnpackLimits& limits)
        : root(root),
          pathRoom(pathRoom),
          stopRequested(stopRequested),
          limits(limits),
          deadline(Clock::now() + limits.time) {}

    [[nodiscard]] UnpackResult Run(archive* reader) {
        for (;;) {
            if (ShouldEnd()) {
                Note(UnpackResult::Ended);
                break;
            }
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader, &entry);
            if (status == ARCHIVE_EOF) break;
            if (status == ARCHIVE_FATAL || entry == nullptr) {
                Note(UnpackResult::Failed);
                break;
            }
            // Counted before anything else, so that no kind of entry can go on without end.
            if (++entries > limits.entries) {
                Note(UnpackResult::OverLimit);
                break;
            }
            const bool goOn = status == ARCHIVE_OK || status == ARCHIVE_WARN
                                  ? Extract(reader, entry)
                                  : LeaveOut(reader);
            if (!goOn) break;
        }
        return result;
    }

private:
    enum class DataEnd { Done, Damaged, Fatal, WriteFailed, OverLimit, Ended };

    [[nodiscard]] bool ShouldEnd() const {
        return stopRequested.load(std::memory_order_relaxed) != 0 || Clock::now() >= deadline;
    }

    void Note(UnpackResult seen) { result = std::max(result, seen); }

    // Notes how an entry's data ended; false when the unpack must stop there.
    bool Continue(DataEnd end) {
        switch (end) {
            case DataEnd::Done:
                return true;
            case DataEnd::Damaged:
                Note(UnpackResult::Incomplete);
                return true;
            case DataEnd::Fatal:
            case DataEnd::WriteFailed:
                Note(UnpackResult::Failed);
                return false;
            case DataEnd::OverLimit:
                Note(UnpackResult::OverLimit);
                return false;
            case DataEnd::Ended:
                Note(UnpackResult::Ended);
                return false;
        }
        return false;
    }

    bool Extract(archive* reader, archive_entry* entry) {
        std::vector<std::string> parts;
        const char* name = EntryName(entry);
        if (name == nullptr || !SplitArchiveEntryPath(name, parts) || !FitsPathRoom(parts)) {
            return LeaveOut(reader);
        }
        if (archive_entry_hardlink(entry) != nullptr || archive_entry_symlink(entry) != nullptr) {
            return LeaveOut(reader);
        }
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (!OpenFolder(parts).Valid()) Note(UnpackResult::Incomplete);
            return true;
        }
        // No type at all is what some zip makers write for a plain file.
        if ((type != AE_IFREG && type != 0) || parts.empty()) return LeaveOut(reader);
        const std::string fileName = std::move(parts.back());
        parts.pop_back();
        const UniqueFd folder = OpenFolder(parts);
        if (!folder.Valid()) return LeaveOut(reader);
        return WriteFile(reader, folder.Get(), fileName);
    }

    // Deeper paths could not be listed for the search nor removed by the clean-up. A name's
    // bytes are never fewer than its characters.
    [[nodiscard]] bool FitsPathRoom(const std::vector<std::string>& parts) const {
        std::size_t length = 0;
        for (const std::string& part : parts) {
            length += part.size() + 1;
            if (length > pathRoom) return false;
        }
        return true;
    }

    // The entry is not unpacked. Its data still goes through the size and time checks, so a
    // refused entry cannot make the reader decompress without bound.
    bool LeaveOut(archive* reader) {
        Note(UnpackResult::Incomplete);
        return Continue(CopyData(reader, -1));
    }

    // The folder below the destination named by `parts`, each created (owner only) where
    // missing. Invalid when something other than a real folder stands on the way.
    [[nodiscard]] UniqueFd OpenFolder(const std::vector<std::string>& parts) const {
        UniqueFd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
        for (const std::string& part : parts) {
            if (!current.Valid()) break;
            int next = ::openat(current.Get(), part.c_str(), kFolderFlags);
            if (next < 0 && errno == ENOENT &&
                (::mkdirat(current.Get(), part.c_str(), S_IRWXU) == 0 || errno == EEXIST)) {
                next = ::openat(current.Get(), part.c_str(), kFolderFlags);
            }
            current.Reset(next);
        }
        return current;
    }

    bool WriteFile(archive* reader, int folder, const std::string& name) {
        // A file of an earlier entry, or a link, is replaced rather than written through; a
        // folder stays, and the create below then fails.
        ::unlinkat(folder, name.c_str(), 0);
        UniqueFd file(::openat(folder, name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               S_IRUSR | S_IWUSR));
        if (!file.Valid()) return LeaveOut(reader);
        DataEnd end = CopyData(reader, file.Get());
        if (::close(file.Release()) != 0 && end == DataEnd::Done) end = DataEnd::WriteFailed;
        // A file cut short must not be taken for the whole one.
        if (end != DataEnd::Done) ::unlinkat(folder, name.c_str(), 0);
        return Continue(end);
    }

    // Copies the entry's data into `file`, or reads and drops it when `file` is -1.
    [[nodiscard]] DataEnd CopyData(archive* reader, int file) {
        std::uint64_t fileEnd = 0;
        for (;;) {
            if (ShouldEnd()) return DataEnd::Ended;
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader, &block, &size, &offset);
            if (status == ARCHIVE_EOF) return DataEnd::Done;
            if (status == ARCHIVE_FATAL) return DataEnd::Fatal;
            if (status != ARCHIVE_OK || offset < 0) return DataEnd::Damaged;
            // A gap before the block takes room in the file as well. The sums cannot wrap:
            // unpackedBytes never passes the limit.
            const std::uint64_t start = static_cast<std::uint64_t>(offset);
            const std::uint64_t gap = start > fileEnd ? start - fileEnd : 0;
            const std::uint64_t room = limits.totalBytes - unpackedBytes;
            if (size > room || gap > room - size) return DataEnd::OverLimit;
            unpackedBytes += gap + size;
            if (file >= 0 && !WriteAt(file, block, size, start)) return DataEnd::WriteFailed;
            fileEnd = std::max<std::uint64_t>(fileEnd, start + size);
        }
    }

    int root;
    std::size_t pathRoom;
    const std::atomic<std::int32_t>& stopRequested;
    UnpackLimits limits;
    Clock::time_point deadline;
    std::uint64_t unpackedBytes = 0;
    std::uint32_t entries = 0;
    UnpackResult result = UnpackResult::Complete;
};

// Only the kinds a database archive comes in: less for a hostile archive to reach.
[[nodiscard]] UniqueReader NewReader() {
    UniqueReader reader(archive_read_new());
    if (!reader.Valid() || archive_read_support_format_zip(reader.Get()) != ARCHIVE_OK ||
        archive_read_support_format_7zip(reader.Get()) != ARCHIVE_OK ||
        archive_read_support_format_rar(reader.Get()) != ARCHIVE_OK ||
        archive_read_support_format_rar5(reader.Get()) != ARCHIVE_OK) {
        return {};
    }
    return reader;
}

[[nodiscard]] UnpackResult UnpackOpened(archive* reader, const std::wstring& destinationFolder,
                                        const std::atomic<std::int32_t>& stopRequested,
                                        const UnpackLimits& limits) {
    const std::size_t pattern = JoinPath(destinationFolder, L"*.*").size();
    if (pattern > kMaxPatternChars) return UnpackResult::Failed;
    const UniqueFd root = OpenDestination(destinationFolder);
    if (!root.Valid()) return UnpackResult::Failed;
    Unpacker unpacker(root.Get(), kMaxPatternChars - pattern, stopRequested, limits);
    return unpacker.Run(reader);
}

}  // namespace

std::wstring UnpackerName() {
    return WideFromNative(archive_version_string());
}

bool SplitArchiveEntryPath(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    for (;;) {
        const std::size_t separator = name.find_first_of("/\\");
        const std::string_view part = name.substr(0, separator);
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.emplace_back(part);
        if (separator == std::string_view::npos) return true;
        name.remove_prefix(separator + 1);
    }
}

UnpackResult UnpackArchive(const std::wstring& archivePath, const std::wstring& destinationFolder,
                           const std::atomic<std::int32_t>& stopRequested,
                           const UnpackLimits& limits) {
    // Before the reader is made: it keeps the character set it first sees.
    const ThreadUtf8Locale utf8;
    std::string native;
    if (!NativeFromWide(archivePath, native)) return UnpackResult::Failed;
    const UniqueFd file(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueReader reader = NewReader();
    if (!file.Valid() || !reader.Valid() ||
        archive_read_open_fd(reader.Get(), file.Get(), kReadBlockBytes) != ARCHIVE_OK) {
        return UnpackResult::Failed;
    }
    return UnpackOpened(reader.Get(), destinationFolder, stopRequested, limits);
}

UnpackResult UnpackArchive(std::span<const std::uint8_t> archiveBytes,
                           const std::wstring& destinationFolder,
                           const std::atomic<std::int32_t>& stopRequested,
                           const UnpackLimits& limits) {
    const ThreadUtf8Locale utf8;
    const UniqueReader reader = NewReader();
    if (!reader.Valid() || archive_read_open_memory(reader.Get(), archiveBytes.data(),
                                                    archiveBytes.size()) != ARCHIVE_OK) {
        return UnpackResult::Failed;
    }
    return UnpackOpened(reader.Get(), destinationFolder, stopRequested, limits);
}

}  // namespace kivrel
