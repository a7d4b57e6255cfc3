// Archivers on Linux and macOS: the unpacker is built in (libarchive), so one is always found,
// and it runs on the calling thread.

#include "update/archive_unpack.h"
#include "update/archivers.h"

namespace kivrel {
namespace {

class BuiltInArchivers final : public Archivers {
public:
    explicit BuiltInArchivers(std::uint32_t waitLimitMs) : waitLimit(waitLimitMs) {}

    bool FindArchiver(const std::wstring& destinationFolder, const std::wstring& archivePath,
                      std::wstring& executable, std::wstring& arguments) override {
        executable = UnpackerName();
        arguments = archivePath;
        arguments += L'\0';
        arguments += destinationFolder;
        return true;
    }

    bool RunArchiver(const std::wstring& arguments, const std::wstring&, std::uint32_t& exitCode,
                     const std::atomic<std::int32_t>& stopRequested) override {
        const std::size_t separator = arguments.find(L'\0');
        if (separator == std::wstring::npos) return false;
        UnpackLimits limits;
        limits.time = waitLimit;
        const UnpackResult result = UnpackArchive(
            arguments.substr(0, separator), arguments.substr(separator + 1), stopRequested, limits);
        if (result == UnpackResult::Ended) {
            exitCode = kArchiverEnded;
            return false;
        }
        exitCode = static_cast<std::uint32_t>(result);
        return true;
    }

private:
    std::chrono::milliseconds waitLimit;
};

}  // namespace

std::unique_ptr<Archivers> MakeSystemArchivers(std::uint32_t waitLimitMs) {
    return std::make_unique<BuiltInArchivers>(waitLimitMs);
}

}  // namespace kivrel
