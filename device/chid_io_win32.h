#pragma once
// Windows only: the lowest layer of the link to the unit. Finds the unit among the HID
// interfaces by its vendor and product, keeps one handle for reading and one for writing, and
// moves single 65-byte reports.

#include <windows.h>

#include <cstdint>

#include "base/win32_handle.h"

namespace kivrel {

class CHidIO {
public:
    // Creates the read, write and cancel events (manual reset, not signalled).
    CHidIO();
    virtual ~CHidIO();
    CHidIO(const CHidIO&) = delete;
    CHidIO& operator=(const CHidIO&) = delete;

    // Discovery: opens the first present HID interface whose path names the unit and that opens
    // for both reading and writing. False leaves the handles closed. Does nothing but return
    // true when already open.
    [[nodiscard]] bool OpenUnit();
    [[nodiscard]] bool IsOpen() const noexcept { return readHandle.Valid() && writeHandle.Valid(); }

    // One 65-byte report each way. False when the call fails, when the wait (at least 100 ms,
    // else `timeoutMs`) ends without the transfer, or when the cancel event is signalled; the
    // handles stay open. `count` (optional) receives the bytes moved.
    [[nodiscard]] bool ReadReport(std::uint8_t* report, DWORD* count, DWORD timeoutMs);
    [[nodiscard]] bool WriteReport(const std::uint8_t* report, DWORD* count, DWORD timeoutMs);

    // Empties the driver's queue of input reports that arrived unread; false when not open.
    bool FlushInput() noexcept;

    // Cancels pending transfers, then closes both handles.
    void CloseHandles() noexcept;

private:
    [[nodiscard]] bool OpenPath(const wchar_t* path);
    [[nodiscard]] bool Transfer(HANDLE handle, HANDLE event, bool read, void* buffer, DWORD* count,
                                DWORD timeoutMs);

    UniqueFileHandle readHandle;
    UniqueFileHandle writeHandle;
    UniqueKernelHandle readEvent;
    UniqueKernelHandle writeEvent;
    UniqueKernelHandle cancelEvent;  // waited on with each transfer; nothing signals it today
};

// Registers `window` for arrival and removal notices of the five interface classes, in table
// order; the first failure ends with false (registrations made stay).
[[nodiscard]] bool RegisterUnitNotifications(HWND window);
// 1-5 for the classes of the notification table, 0 for any other.
[[nodiscard]] int ClassIndex(const GUID& interfaceClass);

}  // namespace kivrel
