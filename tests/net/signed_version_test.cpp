// Signed version files: the platform's SHA-256 and ECDSA P-256 check (libcrypto natively, CNG
// under Wine), the portable decoding of keys and signatures, and the verdict on a file. A
// check that takes a changed file, a foreign key or an undecodable signature would let anyone
// on the network choose what is written into a unit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/signature_encoding.h"
#include "net/version_check.h"
#include "net/version_trust.h"
#include "package/vendor_config.h"

namespace kivrel {
namespace {

// Made once with openssl: `ecparam -name prime256v1 -genkey`, `ec -pubout`, and
// `dgst -sha256 -sign a.pem` over kSignedBody.
constexpr std::string_view kKeyA =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE2FHUaEjVgJ3vWcp8UEgwRSWE50ru\n"
    "8nzkNhjYWlDN7N1Zj2/NjRepA3luW3F0cEUu4loU3tyQzW6kMF13NE+EUg==\n"
    "-----END PUBLIC KEY-----\n";
constexpr std::string_view kKeyB =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEfeeTkVvyfbvuDN9gbiGlJVtOcoe1\n"
    "cikQg26UiOwO/mZEBMT5XuIq6Vb8oGMKEHImwB4oFEYa8fn954Jdeexh+Q==\n"
    "-----END PUBLIC KEY-----\n";
// The same key as A on another curve's terms: secp384r1, and A's point compressed.
constexpr std::string_view kKeyP384 =
    "-----BEGIN PUBLIC KEY-----\n"
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAE6FrBllNJpbV+VlMZ+TuRuqapEEfZ7Q0f\n"
    "Rj6+8Cwy9PD4gl1lGu+3sdB8JFQFH7zOnyytw8tHCOw10lRw/ZlJigr8DWiOqFKX\n"
    "dq7LXL/oWWjQ9bhD7QSfhxDVUdyQk490\n"
    "-----END PUBLIC KEY-----\n";
constexpr std::string_view kKeyACompressed =
    "-----BEGIN PUBLIC KEY-----\n"
    "MDkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDIgAC2FHUaEjVgJ3vWcp8UEgwRSWE50ru\n"
    "8nzkNhjYWlDN7N0=\n"
    "-----END PUBLIC KEY-----\n";
constexpr std::string_view kSignedBody =
    "20240601\n"
    "http://db.kivrel.example/db/camera-db.zip\n"
    "sha256=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\n"
    "size=4\n";
// Its s has a leading zero byte before a high bit: the one-byte-shorter form CNG must get
// padded back.
constexpr std::string_view kSignatureByA =
    "MEUCIQDRZF+/141gJgUbFQOyAB/HxglyIAUwe/tCNbnEdPYV6gIgAL/GQ0sqRiOsgojRhzX/"
    "WutHlV8+Gl5pSxKr4pHagRs=";

std::vector<std::uint8_t> TextBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

P256PublicPoint Point(std::string_view pem) {
    const auto point = ParseP256PublicKeyPem(pem);
    EXPECT_TRUE(point);
    return point.value_or(P256PublicPoint{});
}

TEST(Sha256, IsTheStandardDigestWholeOrInPieces) {
    const auto digest = Sha256Of(TextBytes("abc"));
    ASSERT_TRUE(digest);
    const Sha256Digest expected = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                   0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                   0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    EXPECT_EQ(*digest, expected);
    Sha256 pieces;
    pieces.Update(TextBytes("a"));
    pieces.Update({});
    pieces.Update(TextBytes("bc"));
    EXPECT_EQ(pieces.Finish(), expected);
}

TEST(Base64, RoundTripsAndRefusesEveryOtherText) {
    for (const std::string_view text : {"", "Zg==", "Zm8=", "Zm9v", "+/+/"}) {
        SCOPED_TRACE(std::string(text));
        const auto bytes = DecodeBase64(text);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(EncodeBase64(*bytes), text);
    }
    for (const std::string_view text : {"Zg=", "Zg", "Z===", "Zh==", "Zm9=", "Zg==Zg==", "Zm 9",
                                        "Zm-v", "Zm9v\n", "====", "Z=g="}) {
        SCOPED_TRACE(std::string(text));
        EXPECT_FALSE(DecodeBase64(text));
    }
}

TEST(PublicKeyPem, IsAP256KeyWithAnUncompressedPointAndNothingElse) {
    const auto point = ParseP256PublicKeyPem(kKeyA);
    ASSERT_TRUE(point);
    EXPECT_EQ(WriteP256PublicKeyPem(*point), kKeyA);  // what reads, writes back the same
    EXPECT_EQ(KeyFingerprint(*point).size(), 8u);
    EXPECT_NE(KeyFingerprint(*point), KeyFingerprint(Point(kKeyB)));

    std::string crlf;
    for (const char c : kKeyA) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ParseP256PublicKeyPem(crlf), point);

    auto longer = WriteP256PublicKeyDer(*point);
    longer.push_back(0);
    for (const std::string& pem :
         {std::string(kKeyP384), std::string(kKeyACompressed), WritePemBlock("PUBLIC KEY", longer),
          WritePemBlock("CERTIFICATE", longer),
          std::string("-----BEGIN PUBLIC KEY-----\n-----END PUBLIC KEY-----\n"), std::string()}) {
        SCOPED_TRACE(pem);
        EXPECT_FALSE(ParseP256PublicKeyPem(pem));
    }
}

TEST(DerSignature, ReadsOpensslsFormAndRefusesLooseDer) {
    const auto der = DecodeBase64(kSignatureByA);
    ASSERT_TRUE(der);
    const auto signature = ParseDerSignature(*der);
    ASSERT_TRUE(signature);
    EXPECT_EQ((*signature)[32], 0x00);  // s's 31 bytes, padded to 32
    EXPECT_EQ((*signature)[33], 0xBF);
    EXPECT_EQ(WriteDerSignature(*signature), *der);

    const auto spoilt = [&](auto change) {
        std::vector<std::uint8_t> bytes = *der;
        change(bytes);
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> der;
    };
    const Case cases[] = {
        {"empty", {}},
        {"a byte after it", spoilt([](auto& b) { b.push_back(0); })},
        {"one byte short", spoilt([](auto& b) { b.pop_back(); })},
        {"not a sequence", spoilt([](auto& b) { b[0] = 0x31; })},
        {"a long-form length", {0x30, 0x81, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}},
        {"r negative", {0x30, 0x06, 0x02, 0x01, 0x81, 0x02, 0x01, 0x01}},
        {"r with a needless leading zero", {0x30, 0x07, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x01}},
        {"r of zero", {0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x01}},
        {"s missing", {0x30, 0x03, 0x02, 0x01, 0x01}},
        {"r of 33 bytes without a sign byte",
         [] {
             std::vector<std::uint8_t> b = {0x30, 0x26, 0x02, 0x21};
             b.insert(b.end(), 33, 0x11);
             b.insert(b.end(), {0x02, 0x01, 0x01});
             return b;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ParseDerSignature(c.der));
    }
}

TEST(VerifyP256Signature, TakesOnlyTheSignersKeyOverTheSignedBytes) {
    const auto digest = Sha256Of(TextBytes(kSignedBody));
    const auto signature = ParseDerSignature(*DecodeBase64(kSignatureByA));
    ASSERT_TRUE(digest && signature);
    EXPECT_TRUE(VerifyP256Signature(Point(kKeyA), *digest, *signature));
    EXPECT_FALSE(VerifyP256Signature(Point(kKeyB), *digest, *signature));

    Sha256Digest otherDigest = *digest;
    otherDigest[31] ^= 1;
    EXPECT_FALSE(VerifyP256Signature(Point(kKeyA), otherDigest, *signature));
    P256Signature otherSignature = *signature;
    otherSignature[10] ^= 1;
    EXPECT_FALSE(VerifyP256Signature(Point(kKeyA), *digest, otherSignature));
    // s equal to the group order n is no signature, whatever r is.
    P256Signature sAtOrder = *signature;
    const std::uint8_t order[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84,
                                    0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};
    std::copy(std::begin(order), std::end(order), sAtOrder.begin() + 32);
    EXPECT_FALSE(VerifyP256Signature(Point(kKeyA), *digest, sAtOrder));
    // A point off the curve is no key.
    P256PublicPoint offCurve = Point(kKeyA);
    offCurve[63] ^= 1;
    EXPECT_FALSE(VerifyP256Signature(offCurve, *digest, *signature));
}

std::string Signed(std::string_view body, std::string_view signature = kSignatureByA) {
    return std::string(body) + "signature=" + std::string(signature) + "\n";
}

VersionTrustPolicy Keys(std::initializer_list<std::string_view> pems, bool requireSigned = false) {
    VersionTrustPolicy policy;
    for (const std::string_view pem : pems) EXPECT_TRUE(AddTrustedKey(policy, L"Kivrel", pem));
    policy.requireSigned = requireSigned;
    return policy;
}

TEST(ParseVersionText, ReadsTheAnnouncementAndWhatTheSignatureCovers) {
    const auto file = ParseVersionText(TextBytes(Signed(kSignedBody)));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->version, 20240601);
    EXPECT_EQ(file->archiveUrl, L"http://db.kivrel.example/db/camera-db.zip");
    EXPECT_EQ(file->archiveSize, 4u);
    ASSERT_TRUE(file->archiveSha256);
    EXPECT_EQ((*file->archiveSha256)[0], 0x9f);
    EXPECT_EQ(file->signatureText, kSignatureByA);
    EXPECT_EQ(file->signedBytes, TextBytes(kSignedBody));
    EXPECT_TRUE(file->announcementProblem.empty());

    // A two-line reader's view is unchanged; and a two-line file still reads.
    const auto twoLines = ParseVersionText(TextBytes("20240601\r\nhttp://h/db.zip\r\n"));
    ASSERT_TRUE(twoLines);
    EXPECT_EQ(twoLines->archiveUrl, L"http://h/db.zip");
    EXPECT_TRUE(twoLines->signatureText.empty());
    EXPECT_FALSE(twoLines->archiveSha256 || twoLines->archiveSize);

    struct Case {
        const char* name;
        std::string text;
    };
    const std::string head = "20240601\nhttp://h/db.zip\n";
    const std::string digest(64, 'a');
    const Case broken[] = {
        {"a short sha256", head + "sha256=" + std::string(63, 'a') + "\n"},
        {"a sha256 that is not hex", head + "sha256=" + std::string(63, 'a') + "g\n"},
        {"two sha256 lines", head + "sha256=" + digest + "\nsha256=" + digest + "\n"},
        {"a size with a sign", head + "size=+4\n"},
        {"a size of 0", head + "size=0\n"},
        {"a size past 64 bits", head + "size=99999999999999999999\n"},
        {"text after the signature", Signed(kSignedBody) + "sha256=" + digest + "\n"},
        {"two signatures", Signed(Signed(kSignedBody))},
    };
    for (const Case& c : broken) {
        SCOPED_TRACE(c.name);
        const auto parsed = ParseVersionText(TextBytes(c.text));
        ASSERT_TRUE(parsed);  // still a version file to a two-line reader
        EXPECT_FALSE(parsed->announcementProblem.empty());
        EXPECT_EQ(CheckVersionFile(*parsed, {}).refusal, kTextAccessFailed);
    }
    // Lines of no known kind, and blank lines at the end, are passed over.
    const auto extra = ParseVersionText(TextBytes(head + "mirror=eu\n" + "size=12\r\n\r\n"));
    ASSERT_TRUE(extra);
    EXPECT_TRUE(extra->announcementProblem.empty());
    EXPECT_EQ(extra->archiveSize, 12u);
}

TEST(CheckVersionFile, TakesASignedFileOnlyFromATrustedKey) {
    std::string flippedVersion = Signed(kSignedBody);
    flippedVersion[7] ^= 1;  // 20240601 becomes 20240600
    std::string flippedSignature = Signed(kSignedBody);
    flippedSignature[flippedSignature.size() - 10] ^= 0x01;
    const std::string undecodable = Signed(kSignedBody, "not base64!");
    const std::string unsigned_ = std::string(kSignedBody);
    // Signed by A as well, but announcing no sha256.
    const std::string withoutDigest =
        Signed("20240601\nhttp://h/db.zip\nsize=4\n",
               "MEQCIDvuyCRDfi06vGPpCm3I+sQXFbwsXpzN4qR5rYxuiPH2AiApeJKV9OVeaPwYECfH9M95d5/"
               "ffMiWbEvUbgAm7d6k5Q==");

    struct Case {
        const char* name;
        std::string text;
        VersionTrustPolicy policy;
        VersionTrust trust;
        std::wstring_view cause;  // the start of it, for refusals
    };
    const Case cases[] = {
        {"signed by the trusted key", Signed(kSignedBody), Keys({kKeyA}), VersionTrust::kSigned,
         L""},
        {"signed by one of two keys", Signed(kSignedBody), Keys({kKeyB, kKeyA}),
         VersionTrust::kSigned, L""},
        {"unsigned without keys, as before", unsigned_, {}, VersionTrust::kUnsigned, L""},
        {"signed, without keys to check it", Signed(kSignedBody), {}, VersionTrust::kUnsigned, L""},
        {"unsigned under a key", unsigned_, Keys({kKeyA}), VersionTrust::kRefused,
         L"Its version file carries no signature."},
        {"signed by another key", Signed(kSignedBody), Keys({kKeyB}), VersionTrust::kRefused,
         L"Its version file's signature does not match"},
        {"a flipped byte in the version line", flippedVersion, Keys({kKeyA}),
         VersionTrust::kRefused, L"Its version file's signature does not match"},
        {"a flipped byte in the signature", flippedSignature, Keys({kKeyA}), VersionTrust::kRefused,
         L"Its version file's signature does not match"},
        {"a signature that does not decode", undecodable, Keys({kKeyA}), VersionTrust::kRefused,
         L"Its version file's signature does not match"},
        {"signed without the archive's sha256", withoutDigest, Keys({kKeyA}),
         VersionTrust::kRefused, L"Its signed version file does not give the archive's sha256"},
        {"signature required, no key given", Signed(kSignedBody), Keys({}, true),
         VersionTrust::kRefused, L"No key is built in or given"},
        {"signature required, unsigned", unsigned_, Keys({}, true), VersionTrust::kRefused,
         L"Its version file carries no signature."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = ParseVersionText(TextBytes(c.text));
        ASSERT_TRUE(file);
        const VersionVerdict verdict = CheckVersionFile(*file, c.policy);
        EXPECT_EQ(verdict.trust, c.trust);
        if (c.trust == VersionTrust::kRefused) {
            EXPECT_EQ(verdict.refusal.substr(0, kTextNotSignedBy.size()), kTextNotSignedBy);
            EXPECT_EQ(verdict.cause.substr(0, c.cause.size()), c.cause) << verdict.cause.c_str();
            continue;
        }
        EXPECT_TRUE(verdict.refusal.empty());
        // What the file announced travels with the verdict, signed or not.
        EXPECT_EQ(verdict.archive.size, 4u);
        EXPECT_EQ(verdict.archive.sha256, file->archiveSha256);
        if (c.trust == VersionTrust::kSigned) {
            EXPECT_EQ(verdict.signer.substr(0, 8), L"Kivrel (");
        }
    }
}

TEST(CheckVersionFile, NamesTheKeysInItsRefusal) {
    VersionTrustPolicy policy;
    ASSERT_TRUE(AddTrustedKey(policy, L"Kivrel", kKeyA));
    ASSERT_TRUE(AddTrustedKey(policy, L"mirror.pem", kKeyB));
    EXPECT_FALSE(AddTrustedKey(policy, L"broken", kKeyP384));
    const auto file = ParseVersionText(TextBytes(kSignedBody));
    ASSERT_TRUE(file);
    const VersionVerdict verdict = CheckVersionFile(*file, policy);
    EXPECT_EQ(verdict.refusal, L"The database is not signed by " + policy.keys[0].name + L" or " +
                                   policy.keys[1].name + L".");

    // A vendor's build with a key that does not load refuses everything.
    static constexpr VendorSigningKey kBroken[] = {{"Kivrel", kKeyP384}};
    VendorConfig vendor = DefaultVendorConfig();
    vendor.signingKeys = kBroken;
    const VersionTrustPolicy broken = TrustPolicyFor(vendor);
    EXPECT_TRUE(broken.keyed);
    EXPECT_EQ(CheckVersionFile(*ParseVersionText(TextBytes(Signed(kSignedBody))), broken).trust,
              VersionTrust::kRefused);
    EXPECT_FALSE(TrustPolicyFor(DefaultVendorConfig()).keyed);  // the shipped build has none

    EXPECT_EQ(CheckArchiveAddress(policy).trust, VersionTrust::kRefused);
    EXPECT_EQ(CheckArchiveAddress({}).trust, VersionTrust::kUnsigned);
}

}  // namespace
}  // namespace kivrel
