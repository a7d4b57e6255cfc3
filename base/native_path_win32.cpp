#include "base/native_path.h"
#include "base/text.h"

namespace kivrel {

std::filesystem::path NativePath(std::wstring_view path) {
    return std::filesystem::path(std::wstring(path));
}

std::wstring WidePathFromArgument(std::string_view argument) {
    return Utf8ToWide(argument);
}

}  // namespace kivrel
