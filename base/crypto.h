#pragma once
// The platform's own cryptography, as the download checks need it: SHA-256, and checking an
// ECDSA P-256 signature made over a SHA-256 digest. libcrypto (OpenSSL) on Linux and macOS
// (crypto_posix.cpp), CNG on Windows (crypto_win32.cpp). Keys and signatures come in as their
// plain numbers: decoding PEM and DER is portable code of its own, the same on every platform.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kivrel {

using Sha256Digest = std::array<std::uint8_t, 32>;
// A P-256 public key: the point's X then Y, 32 bytes each, big-endian.
using P256PublicPoint = std::array<std::uint8_t, 64>;
// An ECDSA P-256 signature: r then s, 32 bytes each, big-endian.
using P256Signature = std::array<std::uint8_t, 64>;

// SHA-256 over data given in pieces (an archive is hashed as it is read).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything given; the object is spent afterwards. nullopt when the
    // platform's library failed (then no digest is to be trusted).
    [[nodiscard]] std::optional<Sha256Digest> Finish();

    struct State;

private:
    std::unique_ptr<State> state;
};

[[nodiscard]] std::optional<Sha256Digest> Sha256Of(std::span<const std::uint8_t> bytes);

// True only when `signature` is a valid ECDSA signature of `digest` by `key`. A point that is
// not on the curve, an r or s of 0 or not below the group order, or a failing library all
// give false.
[[nodiscard]] bool VerifyP256Signature(const P256PublicPoint& key, const Sha256Digest& digest,
                                       const P256Signature& signature);

}  // namespace kivrel
