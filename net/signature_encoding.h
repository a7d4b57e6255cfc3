#pragma once
// The text and DER forms keys and signatures travel in: base64, PEM "PUBLIC KEY" (an X.509
// SubjectPublicKeyInfo) for a P-256 key, and the DER ECDSA-Sig-Value that `openssl dgst
// -sha256 -sign` and OpenSSL's ECDSA functions write. Signatures come from servers, keys from
// the command line: everything is untrusted, parsed strictly, and has its writer beside it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/crypto.h"

namespace kivrel {

// Standard base64 (RFC 4648 alphabet, "=" padding required, no line breaks). Refuses any
// other character, a bad length, and padding bits that are not zero (so each value has one
// text).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);
[[nodiscard]] std::string EncodeBase64(std::span<const std::uint8_t> bytes);

// The DER inside the first "-----BEGIN <label>-----" ... "-----END <label>-----" block of a
// PEM text (lines of base64 between, CR LF or LF).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> PemBlock(std::string_view pem,
                                                                std::string_view label);
[[nodiscard]] std::string WritePemBlock(std::string_view label, std::span<const std::uint8_t> der);

// A SubjectPublicKeyInfo for id-ecPublicKey on prime256v1 with an uncompressed point; nothing
// else (another curve, a compressed point, trailing bytes) is taken.
[[nodiscard]] std::optional<P256PublicPoint> ParseP256PublicKeyDer(
    std::span<const std::uint8_t> der);
[[nodiscard]] std::vector<std::uint8_t> WriteP256PublicKeyDer(const P256PublicPoint& point);
// The same from PEM ("PUBLIC KEY").
[[nodiscard]] std::optional<P256PublicPoint> ParseP256PublicKeyPem(std::string_view pem);
[[nodiscard]] std::string WriteP256PublicKeyPem(const P256PublicPoint& point);

// ECDSA-Sig-Value: SEQUENCE { INTEGER r, INTEGER s } in strict DER (minimal lengths and
// integers, both positive and at most 32 bytes), nothing after it. Gives r and s as 32 bytes
// each, as CNG takes them.
[[nodiscard]] std::optional<P256Signature> ParseDerSignature(std::span<const std::uint8_t> der);
[[nodiscard]] std::vector<std::uint8_t> WriteDerSignature(const P256Signature& signature);

// A short name for a key that a person can compare: the first 8 hexadecimal digits of the
// SHA-256 of its DER form (empty if the platform cannot hash).
[[nodiscard]] std::string KeyFingerprint(const P256PublicPoint& point);

}  // namespace kivrel
