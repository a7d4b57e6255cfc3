#include "device/chid_io_win32.h"

#include <dbt.h>
// MinGW's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/unit_ids.h"

namespace kivrel {
namespace {

constexpr DWORD kReportSize = 65;
constexpr DWORD kMinimumWaitMs = 100;

GUID ToGuid(const InterfaceClass& c) {
    GUID guid;
    guid.Data1 = c.data1;
    guid.Data2 = c.data2;
    guid.Data3 = c.data3;
    std::copy(c.data4.begin(), c.data4.end(), guid.Data4);
    return guid;
}

UniqueKernelHandle NewEvent() {
    return UniqueKernelHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

// Overlapped handles: a transfer can then be waited for with a bound and cancelled, so a unit
// that stops answering cannot hold the calling thread for ever.
UniqueFileHandle OpenDevice(const wchar_t* path, DWORD access) {
    return UniqueFileHandle(::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

}  // namespace

CHidIO::CHidIO() : readEvent(NewEvent()), writeEvent(NewEvent()), cancelEvent(NewEvent()) {}

CHidIO::~CHidIO() {
    CloseHandles();
}

bool CHidIO::OpenUnit() {
    if (IsOpen()) return true;
    GUID hidClass;
    ::HidD_GetHidGuid(&hidClass);
    HDEVINFO set =
        ::SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == nullptr || set == INVALID_HANDLE_VALUE) return false;
    bool opened = false;
    for (DWORD index = 0; !opened; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData)) break;
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) break;
        // DWORD elements keep the record aligned for its size field.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr,
                                                nullptr)) {
            break;
        }
        if (IsUnitPath(detail->DevicePath)) opened = OpenPath(detail->DevicePath);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return opened;
}

bool CHidIO::OpenPath(const wchar_t* path) {
    UniqueFileHandle reader = OpenDevice(path, GENERIC_READ);
    if (!reader.Valid()) return false;
    UniqueFileHandle writer = OpenDevice(path, GENERIC_WRITE);
    if (!writer.Valid()) return false;  // the read handle closes with `reader`
    readHandle = std::move(reader);
    writeHandle = std::move(writer);
    return true;
}

bool CHidIO::ReadReport(std::uint8_t* report, DWORD* count, DWORD timeoutMs) {
    return Transfer(readHandle.Get(), readEvent.Get(), true, report, count, timeoutMs);
}

bool CHidIO::WriteReport(const std::uint8_t* report, DWORD* count, DWORD timeoutMs) {
    return Transfer(writeHandle.Get(), writeEvent.Get(), false, const_cast<std::uint8_t*>(report),
                    count, timeoutMs);
}

bool CHidIO::Transfer(HANDLE handle, HANDLE event, bool read, void* buffer, DWORD* count,
                      DWORD timeoutMs) {
    if (count != nullptr) *count = 0;
    if (handle == INVALID_HANDLE_VALUE || event == nullptr) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ::ResetEvent(event);
    const BOOL started = read ? ::ReadFile(handle, buffer, kReportSize, nullptr, &overlapped)
                              : ::WriteFile(handle, buffer, kReportSize, nullptr, &overlapped);
    if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;

    HANDLE waitFor[2] = {cancelEvent.Get(), event};  // the cancel event wins a tie
    const DWORD wait =
        ::WaitForMultipleObjects(2, waitFor, FALSE, std::max(timeoutMs, kMinimumWaitMs));
    DWORD moved = 0;
    if (wait != WAIT_OBJECT_0 + 1) {
        if (wait == WAIT_OBJECT_0) ::ResetEvent(cancelEvent.Get());
        // The buffer belongs to the caller: the transfer must be over before we return.
        ::CancelIo(handle);
        ::GetOverlappedResult(handle, &overlapped, &moved, TRUE);
        return false;
    }
    ::ResetEvent(event);
    if (!::GetOverlappedResult(handle, &overlapped, &moved, TRUE)) return false;
    if (count != nullptr) *count = moved;
    return true;
}

bool CHidIO::FlushInput() noexcept {
    return readHandle.Valid() && ::HidD_FlushQueue(readHandle.Get()) != FALSE;
}

void CHidIO::CloseHandles() noexcept {
    if (readHandle.Valid()) ::CancelIo(readHandle.Get());
    if (writeHandle.Valid()) ::CancelIo(writeHandle.Get());
    readHandle.Reset();
    writeHandle.Reset();
}

bool RegisterUnitNotifications(HWND window) {
    for (const InterfaceClass& interfaceClass : kNotificationClasses) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = ToGuid(interfaceClass);
        if (::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) ==
            nullptr) {
            return false;
        }
    }
    return true;
}

int ClassIndex(const GUID& interfaceClass) {
    InterfaceClass c;
    c.data1 = interfaceClass.Data1;
    c.data2 = interfaceClass.Data2;
    c.data3 = interfaceClass.Data3;
    std::copy(std::begin(interfaceClass.Data4), std::end(interfaceClass.Data4), c.data4.begin());
    return ClassIndex(c);
}

}  // namespace kivrel
