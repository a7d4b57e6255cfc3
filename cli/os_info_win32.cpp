#include <windows.h>

#include <cstdio>

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
        case PROCESSOR_ARCHITECTURE_AMD64:
            return "x64";
        case PROCESSOR_ARCHITECTURE_ARM64:
            return "ARM64";
        case PROCESSOR_ARCHITECTURE_INTEL:
            return "x86";
        default:
            return "another architecture";
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
            char number[64];
            std::snprintf(number, sizeof number, " %lu.%lu build %lu", version.dwMajorVersion,
                          version.dwMinorVersion, version.dwBuildNumber);
            text += number;
        }
        // Under Wine, say so: support then knows the unit is not reached through Windows.
        const auto wineVersion = reinterpret_cast<WineGetVersionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
        if (wineVersion != nullptr) {
            text += " (Wine ";
            text += wineVersion();
            text += ")";
        }
    }
    text += " ";
    text += Architecture();
    return text;
}

}  // namespace kivrel::cli
