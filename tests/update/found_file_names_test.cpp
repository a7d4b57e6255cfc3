// An archive unpacked on Linux may hold an update file whose name is not UTF-8 (made on a GBK
// system): the file the search finds must be the file the loader opens.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/native_path.h"
#include "package/package_writer.h"
#include "package/sample_package.h"
#include "package/update_package.h"
#include "update/update_file_search.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

TEST(FoundFileNames, AGbkNamedUpdateFileIsFoundAndLoaded) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names are UTF-16";
#else
    const fs::path folder = fs::temp_directory_path() / "kivrel-gbk-name";
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    SampleOptions options;
    options.sizes.modelCount = 0;
    const auto bytes = WritePackage(MakeSamplePackage(options)).bytes;
    const std::string gbkName = "\xB1\xB1\xBE\xA9.qdx";  // 北京.qdx in GBK: not UTF-8
    std::ofstream(folder / "sub" / gbkName, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    std::wstring found;
    ASSERT_GT(FindUpdateFile(WideFromNative(folder.string()), true, found), 0);
    ASSERT_FALSE(found.empty());
    UpdatePackage package;
    EXPECT_TRUE(LoadPackage(package, found));
    std::string native;
    ASSERT_TRUE(NativeFromWide(found, native));
    EXPECT_EQ(fs::path(native).filename().string(), gbkName);
    fs::remove_all(folder);
#endif
}

}  // namespace
}  // namespace kivrel
