#include "net/signature_encoding.h"

#include <algorithm>
#include <array>

#include "base/ascii_text.h"

namespace kivrel {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

[[nodiscard]] int Base64Value(char c) noexcept {
    const std::size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// SubjectPublicKeyInfo up to the point: SEQUENCE, SEQUENCE { OID id-ecPublicKey, OID
// prime256v1 }, BIT STRING with no unused bits, and the point's 0x04.
constexpr std::array<std::uint8_t, 27> kSpkiPrefix = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01, 0x06,
    0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

// Reads one DER INTEGER holding a positive number of at most 32 bytes into `out` (big-endian,
// left-padded). Advances `at`.
[[nodiscard]] bool ReadInteger(std::span<const std::uint8_t> der, std::size_t& at,
                               std::span<std::uint8_t, 32> out) {
    if (der.size() - at < 2 || der[at] != 0x02) return false;
    const std::size_t length = der[at + 1];
    // Short-form lengths only: a 33-byte integer is the most a P-256 value needs.
    if (length == 0 || length > 33 || der.size() - at - 2 < length) return false;
    std::span<const std::uint8_t> value = der.subspan(at + 2, length);
    if ((value[0] & 0x80) != 0) return false;  // negative
    if (value[0] == 0x00) {
        // A leading zero only to keep a high bit from reading as a sign.
        if (value.size() == 1 || (value[1] & 0x80) == 0) return false;
        value = value.subspan(1);
    }
    if (value.size() > 32) return false;
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    std::copy(value.begin(), value.end(), out.end() - static_cast<std::ptrdiff_t>(value.size()));
    at += 2 + length;
    return true;
}

void WriteInteger(std::span<const std::uint8_t, 32> value, std::vector<std::uint8_t>& out) {
    std::size_t first = 0;
    while (first < value.size() - 1 && value[first] == 0) ++first;
    const bool pad = (value[first] & 0x80) != 0;
    out.push_back(0x02);
    out.push_back(static_cast<std::uint8_t>(value.size() - first + (pad ? 1 : 0)));
    if (pad) out.push_back(0x00);
    out.insert(out.end(), value.begin() + static_cast<std::ptrdiff_t>(first), value.end());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t padding =
            !last ? 0 : (text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            int value = 0;
            if (j >= 4 - padding) {
                value = 0;
            } else {
                value = Base64Value(text[i + j]);
                if (value < 0) return std::nullopt;  // "=" inside the text included
            }
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        // Bits the padding leaves over must be zero, or two texts would mean the same bytes.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
    }
    return bytes;
}

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (count > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
        if (count > 2) group |= bytes[i + 2];
        text += kAlphabet[group >> 18 & 0x3F];
        text += kAlphabet[group >> 12 & 0x3F];
        text += count > 1 ? kAlphabet[group >> 6 & 0x3F] : '=';
        text += count > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> PemBlock(std::string_view pem, std::string_view label) {
    const std::string begin = "-----BEGIN " + std::string(label) + "-----";
    const std::string end = "-----END " + std::string(label) + "-----";
    const std::size_t start = pem.find(begin);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t bodyStart = start + begin.size();
    const std::size_t stop = pem.find(end, bodyStart);
    if (stop == std::string_view::npos) return std::nullopt;
    std::string body;
    for (const char c : pem.substr(bodyStart, stop - bodyStart)) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        body += c;
    }
    if (body.empty()) return std::nullopt;
    return DecodeBase64(body);
}

std::string WritePemBlock(std::string_view label, std::span<const std::uint8_t> der) {
    const std::string body = EncodeBase64(der);
    std::string text = "-----BEGIN " + std::string(label) + "-----\n";
    for (std::size_t i = 0; i < body.size(); i += 64) text += body.substr(i, 64) + "\n";
    text += "-----END " + std::string(label) + "-----\n";
    return text;
}

std::optional<P256PublicPoint> ParseP256PublicKeyDer(std::span<const std::uint8_t> der) {
    if (der.size() != kSpkiPrefix.size() + 64 ||
        !std::equal(kSpkiPrefix.begin(), kSpkiPrefix.end(), der.begin())) {
        return std::nullopt;
    }
    P256PublicPoint point{};
    std::copy(der.begin() + kSpkiPrefix.size(), der.end(), point.begin());
    return point;
}

std::vector<std::uint8_t> WriteP256PublicKeyDer(const P256PublicPoint& point) {
    std::vector<std::uint8_t> der(kSpkiPrefix.size() + point.size());
    std::copy(kSpkiPrefix.begin(), kSpkiPrefix.end(), der.begin());
    std::copy(point.begin(), point.end(), der.begin() + kSpkiPrefix.size());
    return der;
}

std::optional<P256PublicPoint> ParseP256PublicKeyPem(std::string_view pem) {
    const auto der = PemBlock(pem, "PUBLIC KEY");
    if (!der) return std::nullopt;
    return ParseP256PublicKeyDer(*der);
}

std::string WriteP256PublicKeyPem(const P256PublicPoint& point) {
    return WritePemBlock("PUBLIC KEY", WriteP256PublicKeyDer(point));
}

std::optional<P256Signature> ParseDerSignature(std::span<const std::uint8_t> der) {
    // SEQUENCE with a short-form length covering exactly the rest.
    if (der.size() < 2 || der[0] != 0x30 || der[1] >= 0x80 ||
        std::size_t{der[1]} != der.size() - 2) {
        return std::nullopt;
    }
    P256Signature signature{};
    std::size_t at = 2;
    if (!ReadInteger(der, at, std::span<std::uint8_t, 32>(signature.data(), 32)) ||
        !ReadInteger(der, at, std::span<std::uint8_t, 32>(signature.data() + 32, 32)) ||
        at != der.size()) {
        return std::nullopt;
    }
    const auto zero = [&](std::size_t from) {
        return std::all_of(signature.begin() + static_cast<std::ptrdiff_t>(from),
                           signature.begin() + static_cast<std::ptrdiff_t>(from + 32),
                           [](std::uint8_t b) { return b == 0; });
    };
    if (zero(0) || zero(32)) return std::nullopt;
    return signature;
}

std::vector<std::uint8_t> WriteDerSignature(const P256Signature& signature) {
    std::vector<std::uint8_t> body;
    WriteInteger(std::span<const std::uint8_t, 32>(signature.data(), 32), body);
    WriteInteger(std::span<const std::uint8_t, 32>(signature.data() + 32, 32), body);
    std::vector<std::uint8_t> der(2 + body.size());
    der[0] = 0x30;
    der[1] = static_cast<std::uint8_t>(body.size());
    std::copy(body.begin(), body.end(), der.begin() + 2);
    return der;
}

std::string KeyFingerprint(const P256PublicPoint& point) {
    const auto digest = Sha256Of(WriteP256PublicKeyDer(point));
    if (!digest) return {};
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        text += HexDigit((*digest)[i] >> 4);
        text += HexDigit((*digest)[i]);
    }
    return text;
}

}  // namespace kivrel
