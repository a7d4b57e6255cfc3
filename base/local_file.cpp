#include "base/local_file.h"

#include <utility>

namespace kivrel {

LocalFile::LocalFile(LocalFile&& other) noexcept : native(std::exchange(other.native, kClosed)) {}

LocalFile& LocalFile::operator=(LocalFile&& other) noexcept {
    if (this != &other) {
        Close();
        native = std::exchange(other.native, kClosed);
    }
    return *this;
}

std::uint32_t WriteWholeFile(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    const std::wstring side = path + L".new";
    LocalFile file;
    if (const std::uint32_t error = file.OpenForWriting(side, false)) return error;
    if (const std::uint32_t error = file.Write(bytes)) {
        file.Close();
        RemoveFile(side);
        return error;
    }
    file.Close();
    return MoveFileOver(side, path);
}

}  // namespace kivrel
