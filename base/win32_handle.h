#pragma once
// Windows only: traits for the handles our Win32 edges own.

#include <windows.h>

#include "base/unique_resource.h"

namespace kivrel {

// Handles whose invalid value is INVALID_HANDLE_VALUE: files and devices.
struct FileHandleTraits {
    using Native = HANDLE;
    static Native Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Native h) noexcept { ::CloseHandle(h); }
};

// Handles whose invalid value is null: events, mutexes, threads, processes.
struct KernelHandleTraits {
    using Native = HANDLE;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native h) noexcept { ::CloseHandle(h); }
};

using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;

}  // namespace kivrel
