// The cryptography of the download checks on Windows: CNG (bcrypt), the system's own.

#include <windows.h>
// after windows.h, whose types it uses
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/crypto.h"
#include "base/unique_resource.h"

namespace kivrel {
// Named rather than anonymous: Sha256::State, a class of the header, holds these.
namespace cng {

struct AlgorithmTraits {
    using Native = BCRYPT_ALG_HANDLE;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
    using Native = BCRYPT_HASH_HANDLE;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native h) noexcept { ::BCryptDestroyHash(h); }
};
struct KeyTraits {
    using Native = BCRYPT_KEY_HANDLE;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native h) noexcept { ::BCryptDestroyKey(h); }
};

}  // namespace cng

namespace {

using namespace cng;

[[nodiscard]] bool Succeeded(NTSTATUS status) noexcept {
    return status >= 0;
}

UniqueResource<AlgorithmTraits> OpenAlgorithm(const wchar_t* name) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0))) return {};
    return UniqueResource<AlgorithmTraits>(algorithm);
}

}  // namespace

struct Sha256::State {
    UniqueResource<cng::AlgorithmTraits> algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    UniqueResource<cng::HashTraits> hash;
    bool good = false;

    State() {
        BCRYPT_HASH_HANDLE handle = nullptr;
        good = algorithm.Valid() &&
               Succeeded(::BCryptCreateHash(algorithm.Get(), &handle, nullptr, 0, nullptr, 0, 0));
        hash = UniqueResource<cng::HashTraits>(handle);
    }
};

Sha256::Sha256() : state(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    if (!state || !state->good) return;
    // BCryptHashData takes at most 4 GiB less one byte per call.
    constexpr std::size_t kPiece = 1u << 30;
    while (!bytes.empty() && state->good) {
        const std::size_t size = std::min(bytes.size(), kPiece);
        state->good = Succeeded(::BCryptHashData(
            state->hash.Get(), const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(size), 0));
        bytes = bytes.subspan(size);
    }
}

std::optional<Sha256Digest> Sha256::Finish() {
    const std::unique_ptr<State> spent = std::move(state);
    if (!spent || !spent->good) return std::nullopt;
    Sha256Digest digest{};
    if (!Succeeded(::BCryptFinishHash(spent->hash.Get(), digest.data(),
                                      static_cast<ULONG>(digest.size()), 0))) {
        return std::nullopt;
    }
    return digest;
}

bool VerifyP256Signature(const P256PublicPoint& point, const Sha256Digest& digest,
                         const P256Signature& signature) {
    const UniqueResource<AlgorithmTraits> algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!algorithm.Valid()) return false;
    // The public key blob: its header, then X and Y.
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, point.data(), point.size());
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (!Succeeded(::BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle,
                                         blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        return false;
    }
    const UniqueResource<KeyTraits> key(handle);
    // CNG takes the signature as r and s side by side, as it is given here.
    return Succeeded(::BCryptVerifySignature(
        key.Get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
        const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0));
}

}  // namespace kivrel
