// POSIX files: paths are wide strings in the core and UTF-8 on disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "base/local_file.h"
#include "base/native_path.h"

namespace kivrel {
namespace {

[[nodiscard]] std::uint32_t LastError() noexcept {
    return static_cast<std::uint32_t>(errno);
}

[[nodiscard]] int Fd(std::intptr_t native) noexcept {
    return static_cast<int>(native);
}

[[nodiscard]] std::uint32_t WriteAll(int fd, std::span<const std::uint8_t> bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return LastError();
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

std::uint32_t LocalFile::OpenForWriting(const std::wstring& path, bool keepContents) {
    Close();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (keepContents ? 0 : O_TRUNC);
    const int fd = ::open(NativePath(path).c_str(), flags, 0666);
    if (fd < 0) return LastError();
    native = fd;
    return 0;
}

std::uint32_t LocalFile::SetLength(std::uint64_t length) {
    if (!IsOpen()) return EBADF;
    if (::ftruncate(Fd(native), static_cast<off_t>(length)) != 0) return LastError();
    if (::lseek(Fd(native), static_cast<off_t>(length), SEEK_SET) < 0) return LastError();
    return 0;
}

std::uint32_t LocalFile::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen()) return EBADF;
    return WriteAll(Fd(native), bytes);
}

void LocalFile::Close() noexcept {
    if (IsOpen()) ::close(Fd(std::exchange(native, kClosed)));
}

bool PathExists(const std::wstring& path) {
    struct stat info {};
    return ::lstat(NativePath(path).c_str(), &info) == 0;
}

std::optional<std::uint64_t> FileLength(const std::wstring& path) {
    struct stat info {};
    if (::stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool RemoveFile(const std::wstring& path) {
    return ::unlink(NativePath(path).c_str()) == 0 || errno == ENOENT;
}

std::uint32_t MoveFileOver(const std::wstring& from, const std::wstring& to) {
    if (::rename(NativePath(from).c_str(), NativePath(to).c_str()) != 0) return LastError();
    return 0;
}

bool ReadFilePrefix(const std::wstring& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.assign(limit, 0);
    std::size_t filled = 0;
    while (filled < limit) {
        const ssize_t got = ::read(fd, bytes.data() + filled, limit - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return true;
}

}  // namespace kivrel
