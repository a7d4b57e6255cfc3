#include "package/update_package.h"

namespace kivrel {

void UpdatePackage::Release() noexcept {
    *this = UpdatePackage{};
}

const ModelEntry* FindModelEntry(const UpdatePackage& package, std::uint32_t modelId) noexcept {
    if (package.models.size() == 1) return &package.models.front();
    for (const ModelEntry& entry : package.models) {
        if (entry.modelId == modelId) return &entry;
    }
    return nullptr;
}

}  // namespace kivrel
