#pragma once
// The local files the downloader writes and the version check reads. One implementation per
// platform (local_file_win32.cpp, local_file_posix.cpp); error codes are the OS's own
// (GetLastError() or errno), 0 meaning success.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kivrel {

// A file open for writing. Closed by its destructor; moves, never copies.
class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile() { Close(); }
    LocalFile(LocalFile&& other) noexcept;
    LocalFile& operator=(LocalFile&& other) noexcept;
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Creates the file when missing; an existing one is emptied unless `keepContents`. Others
    // may read it meanwhile but not write it (where the platform can say so).
    [[nodiscard]] std::uint32_t OpenForWriting(const std::wstring& path, bool keepContents);
    // Cuts or extends the file to `length` and puts the write position there.
    [[nodiscard]] std::uint32_t SetLength(std::uint64_t length);
    // Writes all of `bytes` at the write position.
    [[nodiscard]] std::uint32_t Write(std::span<const std::uint8_t> bytes);
    void Close() noexcept;
    [[nodiscard]] bool IsOpen() const noexcept { return native != kClosed; }

private:
    static constexpr std::intptr_t kClosed = -1;  // an fd of -1 or INVALID_HANDLE_VALUE
    std::intptr_t native = kClosed;
};

// True when something exists at `path`.
[[nodiscard]] bool PathExists(const std::wstring& path);
// The size of a regular file, or nullopt when it is missing or not a regular file.
[[nodiscard]] std::optional<std::uint64_t> FileLength(const std::wstring& path);
// Deletes a file; true when it is gone afterwards (also when it never existed).
bool RemoveFile(const std::wstring& path);
// Moves `from` over `to`, replacing `to`. Returns 0 or the OS error code.
[[nodiscard]] std::uint32_t MoveFileOver(const std::wstring& from, const std::wstring& to);
// Reads up to `limit` bytes from the start of a file; false when it cannot be opened.
[[nodiscard]] bool ReadFilePrefix(const std::wstring& path, std::size_t limit,
                                  std::vector<std::uint8_t>& bytes);
// Writes `bytes` as the whole content of `path`, through a side file and a rename so that a
// crash leaves the old content or the new one. Returns 0 or the OS error code.
[[nodiscard]] std::uint32_t WriteWholeFile(const std::wstring& path,
                                           std::span<const std::uint8_t> bytes);

}  // namespace kivrel
