// What Windows shows of both programs before running them: the version resource (file
// properties, Apps & features) and the manifest (common controls 6, per-monitor DPI).

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kivrel_version.h"
#include "tests/win/win_test_support.h"

namespace kivrel {
namespace {

std::wstring Widen(const char* ascii) {
    return std::wstring(ascii, ascii + strlen(ascii));
}

std::wstring StringValue(const std::vector<char>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(block.data(), key.c_str(), &value, &length) || length == 0) return {};
    return static_cast<const wchar_t*>(value);
}

std::string Manifest(const std::wstring& path) {
    const HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return {};
    std::string text;
    if (const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
        text.assign(data, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return text;
}

TEST(VersionInfo, BothProgramsCarryTheProductVersionAndTheManifest) {
    struct Program {
        const wchar_t* path;
        const wchar_t* originalName;
    };
    for (const Program& p :
         {Program{L"Kivrel.exe", L"Kivrel.exe"}, Program{L"cli\\kivrel.exe", L"kivrel.exe"}}) {
        SCOPED_TRACE(testing::Message() << std::string(p.path, p.path + wcslen(p.path)));
        const std::wstring path = ProgramPath(p.path);
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> block(size);
        ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            ::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        const DWORD high = MAKELONG(KIVREL_VERSION_MINOR, KIVREL_VERSION_MAJOR);
        const DWORD low = MAKELONG(0, KIVREL_VERSION_PATCH);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, low);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwProductVersionLS, low);

        EXPECT_EQ(StringValue(block, L"FileVersion"), Widen(KIVREL_VERSION));
        EXPECT_EQ(StringValue(block, L"ProductVersion"), Widen(KIVREL_VERSION));
        EXPECT_EQ(StringValue(block, L"ProductName"), L"Kivrel");
        EXPECT_EQ(StringValue(block, L"OriginalFilename"), p.originalName);
        EXPECT_NE(StringValue(block, L"FileDescription"), L"");

        const std::string manifest = Manifest(path);
        EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
        EXPECT_NE(manifest.find(">PerMonitorV2,PerMonitor</dpiAwareness>"), std::string::npos);
        EXPECT_NE(manifest.find("version=\"" KIVREL_VERSION ".0\""), std::string::npos);
    }
}

}  // namespace
}  // namespace kivrel
