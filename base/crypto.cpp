#include "base/crypto.h"

namespace kivrel {

std::optional<Sha256Digest> Sha256Of(std::span<const std::uint8_t> bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.Finish();
}

}  // namespace kivrel
