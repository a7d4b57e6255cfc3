// Windows files: wide paths as they are, errors from GetLastError().

#include <windows.h>

#include <utility>

#include "base/local_file.h"

namespace kivrel {
namespace {

[[nodiscard]] HANDLE Handle(std::intptr_t native) noexcept {
    return reinterpret_cast<HANDLE>(native);
}

[[nodiscard]] std::uint32_t LastError() noexcept {
    return ::GetLastError();
}

}  // namespace

std::uint32_t LocalFile::OpenForWriting(const std::wstring& path, bool keepContents) {
    Close();
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      keepContents ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    native = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

std::uint32_t LocalFile::SetLength(std::uint64_t length) {
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(Handle(native), position, nullptr, FILE_BEGIN)) return LastError();
    if (!::SetEndOfFile(Handle(native))) return LastError();
    return 0;
}

std::uint32_t LocalFile::Write(std::span<const std::uint8_t> bytes) {
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(Handle(native), bytes.data(), chunk, &written, nullptr)) {
            return LastError();
        }
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes = bytes.subspan(written);
    }
    return 0;
}

void LocalFile::Close() noexcept {
    if (IsOpen()) ::CloseHandle(Handle(std::exchange(native, kClosed)));
}

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::uint64_t> FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RemoveFile(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::uint32_t MoveFileOver(const std::wstring& from, const std::wstring& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
    return 0;
}

bool ReadFilePrefix(const std::wstring& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.assign(limit, 0);
    std::size_t filled = 0;
    while (filled < limit) {
        const std::size_t want = limit - filled;
        DWORD got = 0;
        if (!::ReadFile(file, bytes.data() + filled,
                        want > 0x40000000 ? 0x40000000 : static_cast<DWORD>(want), &got, nullptr) ||
            got == 0) {
            break;
        }
        filled += got;
    }
    ::CloseHandle(file);
    bytes.resize(filled);
    return true;
}

}  // namespace kivrel
