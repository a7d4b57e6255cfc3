#include "net/local_file.h"

namespace kivrel {

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
