// Signing with libcrypto (Linux, macOS).

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

#include "base/crypto_signing.h"

namespace kivrel {
namespace {

struct BioFree {
    void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* context) const noexcept { EVP_PKEY_CTX_free(context); }
};

}  // namespace

std::vector<std::uint8_t> SignP256Digest(std::string_view privateKeyPem, const Sha256Digest& digest,
                                         std::string& error) {
    const std::unique_ptr<BIO, BioFree> text(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    // No passphrase callback: an encrypted key is refused instead of prompting.
    const std::unique_ptr<EVP_PKEY, KeyFree> key(
        text ? PEM_read_bio_PrivateKey(text.get(), nullptr, nullptr, const_cast<char*>(""))
             : nullptr);
    if (!key) {
        error = "it holds no private key (PEM, unencrypted)";
        return {};
    }
    char group[64] = {};
    std::size_t groupLength = 0;
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC ||
        EVP_PKEY_get_group_name(key.get(), group, sizeof group, &groupLength) != 1 ||
        std::string_view(group, groupLength) != "prime256v1") {
        error = "its key is not an elliptic-curve key on P-256 (prime256v1)";
        return {};
    }
    const std::unique_ptr<EVP_PKEY_CTX, ContextFree> context(
        EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    std::size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
        error = "the signature could not be made";
        return {};
    }
    std::vector<std::uint8_t> signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, digest.data(), digest.size()) !=
        1) {
        error = "the signature could not be made";
        return {};
    }
    signature.resize(length);
    return signature;
}

}  // namespace kivrel
