// The cryptography of the download checks on Linux and macOS: libcrypto, the library that
// libcurl's TLS already brings.

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <utility>

#include "base/crypto.h"

namespace kivrel {
// Named rather than anonymous: Sha256::State, a class of the header, holds one of these.
namespace libcrypto {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const noexcept { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using OwnedDigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using OwnedKey = Owned<EVP_PKEY, EVP_PKEY_free>;
using OwnedKeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using OwnedSignature = Owned<ECDSA_SIG, ECDSA_SIG_free>;

}  // namespace libcrypto

namespace {

using namespace libcrypto;

// The key from its point, as libcrypto's provider interface takes it (0x04, X, Y).
OwnedKey KeyFromPoint(const P256PublicPoint& point) {
    std::array<unsigned char, 65> encoded{0x04};
    std::copy(point.begin(), point.end(), encoded.begin() + 1);
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()),
        OSSL_PARAM_construct_end(),
    };
    const OwnedKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        return nullptr;
    }
    OwnedKey owned(key);
    // fromdata does not insist that the point lies on the curve; a key must.
    const OwnedKeyContext check(EVP_PKEY_CTX_new_from_pkey(nullptr, owned.get(), nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
    return owned;
}

}  // namespace

struct Sha256::State {
    libcrypto::OwnedDigestContext context{EVP_MD_CTX_new()};
    bool good = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
};

Sha256::Sha256() : state(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    if (!state || !state->good || bytes.empty()) return;
    state->good = EVP_DigestUpdate(state->context.get(), bytes.data(), bytes.size()) == 1;
}

std::optional<Sha256Digest> Sha256::Finish() {
    const std::unique_ptr<State> spent = std::move(state);
    if (!spent || !spent->good) return std::nullopt;
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(spent->context.get(), digest.data(), &length) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

bool VerifyP256Signature(const P256PublicPoint& point, const Sha256Digest& digest,
                         const P256Signature& signature) {
    const OwnedKey key = KeyFromPoint(point);
    if (!key) return false;
    OwnedSignature numbers(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!numbers || r == nullptr || s == nullptr || ECDSA_SIG_set0(numbers.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    // libcrypto verifies the DER form; this one is made here from checked numbers.
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(numbers.get(), &der);
    if (derLength <= 0) return false;
    const OwnedKeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    const bool verified = context && EVP_PKEY_verify_init(context.get()) == 1 &&
                          EVP_PKEY_verify(context.get(), der, static_cast<std::size_t>(derLength),
                                          digest.data(), digest.size()) == 1;
    OPENSSL_free(der);
    return verified;
}

}  // namespace kivrel
