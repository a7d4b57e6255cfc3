#include "base/disk_space.h"

#include <atomic>

namespace kivrel {
namespace {

std::atomic<FreeSpaceQuery> replacement{nullptr};

}  // namespace

std::optional<std::uint64_t> FreeDiskSpace(const std::wstring& folder) {
    const FreeSpaceQuery query = replacement.load(std::memory_order_relaxed);
    return query != nullptr ? query(folder) : SystemFreeDiskSpace(folder);
}

void SetFreeSpaceQuery(FreeSpaceQuery query) noexcept {
    replacement.store(query, std::memory_order_relaxed);
}

}  // namespace kivrel
