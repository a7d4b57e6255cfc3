#pragma once
// Makes the downloader trust a throw-away certificate authority while a test runs, the way its
// platform allows: libcurl is handed the file (what --ca-file does); WinInet checks against
// the system's store only, so there the authority is put into the user's Root store and taken
// out again afterwards (Wine's store holds it in the registry of the test's prefix).

#include <filesystem>

#include "net/proxy_settings.h"

namespace kivrel::test {

class TrustedAuthority {
public:
    explicit TrustedAuthority(const std::filesystem::path& pemFile);
    ~TrustedAuthority();
    TrustedAuthority(const TrustedAuthority&) = delete;
    TrustedAuthority& operator=(const TrustedAuthority&) = delete;

    [[nodiscard]] bool Trusted() const noexcept { return trusted; }
    // What a downloader needs to be given besides.
    [[nodiscard]] NetworkSettings Settings() const { return settings; }

private:
    bool trusted = false;
    NetworkSettings settings;
    // Only the Windows side puts a certificate into a store.
    [[maybe_unused]] const void* addedCertificate = nullptr;
};

}  // namespace kivrel::test
