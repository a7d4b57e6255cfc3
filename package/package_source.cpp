#include "package/package_source.h"

#include <algorithm>
#include <filesystem>

#include "base/native_path.h"

namespace kivrel {

bool FileByteSource::Open(const std::wstring& path) {
    const std::filesystem::path native = NativePath(path);
    if (native.empty()) return false;
    file.open(native, std::ios::binary);
    if (!file.is_open()) return false;
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    if (!file || end < 0) {
        file.close();
        return false;
    }
    size = static_cast<std::uint64_t>(end);
    return true;
}

bool FileByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!file.is_open() || offset > size || out.size() > size - offset) return false;
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return file.gcount() == static_cast<std::streamsize>(out.size());
}

bool MemoryByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > bytes.size() || out.size() > bytes.size() - offset) return false;
    std::copy_n(bytes.data() + offset, out.size(), out.data());
    return true;
}

}  // namespace kivrel
