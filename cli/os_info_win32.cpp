#include <windows.h>

#include "cli/os_info.h"

namespace kivrel::cli {
namespace {

// GetVersionEx answers what the program's manifest claims to know; ntdll tells the truth.
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using WineGetVersionFunction = const char*(CDECL*)();

std::string Architecture() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
        case PROCESSOR_ARCHITECTURE_AMD64: return "x64";
        case PROCESSOR_ARCHITECTURE_ARM64: return "ARM64";
        case PROCESSOR_ARCHITECTURE_INTEL: return "x86";
        default: return "architecture " + std::to_string(info.wProcessorArchitecture);
    }
}

}  // namespace

std::string OperatingSystemText() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    std::string text = "Windows";
    if (ntdll != nullptr) {
        const auto getVersion = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (getVersion != nullptr && getVersion(&version) == 0) {
            text += " " + std::to_string(version.dwMajorVersion) + "." +
                    std::to_string(version.dwMinorVersion) + " build " +
                    std::to_string(version.dwBuildNumber);
        }
        // Under Wine, say so: support then knows the unit is not reached through Windows.
        const auto wineVersion = reinterpret_cast<WineGetVersionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
        if (wineVersion != nullptr) text += std::string(" (Wine ") + wineVersion() + ")";
    }
    return text + " " + Architecture();
}

}  // namespace kivrel::cli
