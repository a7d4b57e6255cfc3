#include "tests/net/trusted_authority.h"

namespace kivrel::test {

TrustedAuthority::TrustedAuthority(const std::filesystem::path& pemFile)
    : trusted(std::filesystem::exists(pemFile)) {
    settings.caFile = pemFile.wstring();
}

TrustedAuthority::~TrustedAuthority() = default;

}  // namespace kivrel::test
