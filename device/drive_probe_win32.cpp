// The system's drives for the disk-mode switch: drive types, volume and disk handles, the
// storage control codes and the marker file.

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>

#include "device/disk_switch.h"
#include "device/drive_probe.h"

namespace kivrel {
namespace {

constexpr DWORD kDescriptorBufferBytes = 1024;
// VOLUME_DISK_EXTENTS with room for one extent.
constexpr DWORD kExtentsBufferBytes = 32;

HANDLE ToHandle(ProbeHandle handle) noexcept {
    return reinterpret_cast<HANDLE>(handle);
}
ProbeHandle FromHandle(HANDLE handle) noexcept {
    // INVALID_HANDLE_VALUE is -1, which is kNoProbeHandle.
    return reinterpret_cast<ProbeHandle>(handle);
}

class SystemDriveProbe final : public DriveProbe {
public:
    unsigned DriveType(const std::wstring& rootPath) override {
        return ::GetDriveTypeW(rootPath.c_str());
    }

    ProbeHandle OpenVolume(const std::wstring& volumePath) override {
        return FromHandle(::CreateFileW(volumePath.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    }

    bool FirstExtentDisk(ProbeHandle volume, std::uint32_t& disk) override {
        alignas(8) std::uint8_t buffer[kExtentsBufferBytes] = {};
        DWORD returned = 0;
        if (!::DeviceIoControl(ToHandle(volume), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                               buffer, sizeof(buffer), &returned, nullptr)) {
            return false;
        }
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer);
        if (returned < sizeof(VOLUME_DISK_EXTENTS) || extents->NumberOfDiskExtents < 1) {
            return false;
        }
        disk = extents->Extents[0].DiskNumber;
        return true;
    }

    ProbeHandle OpenDisk(const std::wstring& diskPath) override {
        return FromHandle(::CreateFileW(diskPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    }

    bool QueryDescriptor(ProbeHandle disk, std::vector<std::uint8_t>& descriptor) override {
        STORAGE_PROPERTY_QUERY query{};  // StorageDeviceProperty, PropertyStandardQuery
        descriptor.assign(kDescriptorBufferBytes, 0);
        DWORD returned = 0;
        if (!::DeviceIoControl(ToHandle(disk), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                               descriptor.data(), kDescriptorBufferBytes, &returned, nullptr)) {
            descriptor.clear();
            return false;
        }
        // Only what the disk returned counts; the rest of the buffer is not its answer.
        descriptor.resize(std::min<DWORD>(returned, kDescriptorBufferBytes));
        return true;
    }

    void Eject(ProbeHandle volume) override {
        DWORD returned = 0;
        ::DeviceIoControl(ToHandle(volume), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0,
                          &returned, nullptr);
    }

    void Close(ProbeHandle handle) override { ::CloseHandle(ToHandle(handle)); }

    bool WriteMarker(const std::wstring& path, std::span<const std::uint8_t> bytes) override {
        std::FILE* file = ::_wfopen(path.c_str(), L"wb");
        if (file == nullptr) return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fclose(file) == 0 && written;
    }
};

}  // namespace

std::unique_ptr<DriveProbe> MakeSystemDriveProbe() {
    return std::make_unique<SystemDriveProbe>();
}

bool SwitchDiskUnits() {
    SystemDriveProbe probe;
    return SwitchDiskUnits(probe);
}

}  // namespace kivrel
