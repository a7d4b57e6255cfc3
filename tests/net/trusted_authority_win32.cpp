// The certificate goes into the current user's Root store through the registry provider: the
// store must be closed for the addition to be written, and Wine's chain engine reads it once,
// when a process first checks a chain, so this runs before any HTTPS request of the process.

#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/net/trusted_authority.h"

namespace kivrel::test {
namespace {

[[nodiscard]] HCERTSTORE OpenUserRoot() {
    return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                           L"Root");
}

}  // namespace

TrustedAuthority::TrustedAuthority(const std::filesystem::path& pemFile) {
    std::ifstream in(pemFile, std::ios::binary);
    const std::string pem{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                                nullptr)) {
        return;
    }
    std::vector<BYTE> der(size);
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                nullptr, nullptr)) {
        return;
    }
    const HCERTSTORE store = OpenUserRoot();
    if (store == nullptr) return;
    PCCERT_CONTEXT added = nullptr;
    trusted = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                 CERT_STORE_ADD_REPLACE_EXISTING, &added) != 0;
    addedCertificate = added;
    ::CertCloseStore(store, 0);
}

TrustedAuthority::~TrustedAuthority() {
    auto* added = static_cast<PCCERT_CONTEXT>(addedCertificate);
    if (added == nullptr) return;
    const HCERTSTORE store = OpenUserRoot();
    if (store != nullptr) {
        if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, added, nullptr)) {
            ::CertDeleteCertificateFromStore(found);  // frees `found`
        }
        ::CertCloseStore(store, 0);
    }
    ::CertFreeCertificateContext(added);
}

}  // namespace kivrel::test
