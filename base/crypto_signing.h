#pragma once
// Signing with a P-256 private key, for the vendor's side (`kivrel sign-version`). Linux and
// macOS only (libcrypto): the tool on Windows only checks signatures.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/crypto.h"

namespace kivrel {

// The DER ECDSA signature (as `openssl dgst -sha256 -sign` writes it) of `digest` by the key
// in `privateKeyPem` ("EC PRIVATE KEY" or "PRIVATE KEY", unencrypted). Empty, with `error`
// set, when the text holds no P-256 private key or the library fails.
[[nodiscard]] std::vector<std::uint8_t> SignP256Digest(std::string_view privateKeyPem,
                                                       const Sha256Digest& digest,
                                                       std::string& error);

}  // namespace kivrel
