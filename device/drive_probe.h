#pragma once
// What the disk-mode switch asks of the system about drives: one implementation for Windows
// (drive_probe_win32.cpp) and fakes in tests. Handles are opaque numbers; every handle a probe
// hands out is given back to Close exactly once.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

using ProbeHandle = std::intptr_t;
inline constexpr ProbeHandle kNoProbeHandle = -1;

// Drive types as the system numbers them; the switch only looks at removable drives.
inline constexpr unsigned kDriveRemovable = 2;

class DriveProbe {
public:
    virtual ~DriveProbe() = default;
    // The type of the drive at a root path ("z:\").
    [[nodiscard]] virtual unsigned DriveType(const std::wstring& rootPath) = 0;
    // Opens a volume ("\\.\z:") for reading; kNoProbeHandle on failure.
    [[nodiscard]] virtual ProbeHandle OpenVolume(const std::wstring& volumePath) = 0;
    // The disk number of the volume's first extent; false when the query fails.
    [[nodiscard]] virtual bool FirstExtentDisk(ProbeHandle volume, std::uint32_t& disk) = 0;
    // Opens a disk ("\\.\PhysicalDrive1") with no access rights, for queries only.
    [[nodiscard]] virtual ProbeHandle OpenDisk(const std::wstring& diskPath) = 0;
    // The storage device descriptor: exactly the bytes the query returned. False on failure.
    [[nodiscard]] virtual bool QueryDescriptor(ProbeHandle disk,
                                               std::vector<std::uint8_t>& descriptor) = 0;
    // Asks the system to eject the volume's medium; the outcome is not used.
    virtual void Eject(ProbeHandle volume) = 0;
    virtual void Close(ProbeHandle handle) = 0;
    // Creates or truncates the file and writes the bytes; false when it cannot be created.
    virtual bool WriteMarker(const std::wstring& path, std::span<const std::uint8_t> bytes) = 0;
};

// The system's drives (Windows only: drive_probe_win32.cpp).
[[nodiscard]] std::unique_ptr<DriveProbe> MakeSystemDriveProbe();

}  // namespace kivrel
