// Owners behind a company proxy, and HTTPS proven rather than assumed: the downloader against a
// real proxy (tinyproxy) and a real TLS server (nginx, with certificates from an authority made
// for the test), natively over libcurl and under Wine over WinInet. The risks: a proxy or its
// credentials left unused, a refused login passed off as a download, and a server whose
// certificate does not prove it being accepted.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/http_download.h"
#include "tests/net/download_test_support.h"
#include "tests/net/trusted_authority.h"
#include "tests/support/http_test_server.h"
#include "tests/support/local_services.h"

namespace kivrel {
namespace {

using test::LocalServices;

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
constexpr auto kToolBound = std::chrono::seconds(60);  // certificates made by openssl

// How each library says that a certificate did not prove the server.
using Values = std::vector<std::uint32_t>;
#ifdef _WIN32
const Values kWrongName = {12038};  // ERROR_INTERNET_SEC_CERT_CN_INVALID
const Values kOutOfDate = {12037};  // ERROR_INTERNET_SEC_CERT_DATE_INVALID
// ERROR_INTERNET_INVALID_CA; Wine reports a chain it cannot complete as a failed revocation
// check, ERROR_INTERNET_SEC_CERT_REV_FAILED.
const Values kUnknownAuthority = {12045, 12057};
constexpr std::uint32_t kHttpsToHttp = 12040;  // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
#else
const Values kWrongName = {60};  // CURLE_PEER_FAILED_VERIFICATION, for every reason
const Values kOutOfDate = {60};
const Values kUnknownAuthority = {60};
constexpr std::uint32_t kHttpsToHttp = 1;  // CURLE_UNSUPPORTED_PROTOCOL: http is not allowed
#endif

// One synchronous download; the transfer must report exactly one end.
test::Finished Download(CHttpDownload& downloader, const std::wstring& url,
                        const std::wstring& file, int accessType, const std::wstring& proxyName,
                        const NetworkSettings& network) {
    test::RecordingDownloadSink sink;
    downloader.SetNetworkSettings(network);
    downloader.SetParameters(&sink, url, file, proxyName, L"", L"", L"", L"", accessType, 0, 0, 0,
                             0.0, 0);
    EXPECT_EQ(downloader.Start(true), L"");
    const auto finished = sink.FinishedMessages();
    EXPECT_EQ(finished.size(), 1u);
    return finished.empty() ? test::Finished{99, 99} : finished.front();
}

NetworkSettings ThroughProxy(const std::wstring& address, NetworkSettings settings = {}) {
    settings.proxy = ParseProxyAddress(address);
    EXPECT_TRUE(settings.proxy);
    return settings;
}

// tinyproxy on a free loopback port, asking for Basic credentials ("user password") when
// given; 0 when it did not start. It forwards to any host and port, tunnels included.
std::uint16_t StartProxy(LocalServices& services, const std::string& credentials = "") {
    const std::uint16_t port = LocalServices::FreePort();
    std::string config = "Port " + std::to_string(port) +
                         "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nLogLevel Connect\n"
                         "LogFile \"" +
                         services.ProgramPath("proxy.log") + "\"\n";
    if (!credentials.empty()) config += "BasicAuth " + credentials + "\n";
    if (!services.WriteFile("proxy.conf", config)) return 0;
    const std::string command = std::string(kTinyproxy) + " -d -c '" +
                                services.ProgramPath("proxy.conf") + "' > '" +
                                services.ProgramPath("proxy.out") + "' 2>&1";
    return services.Start(command, {port}) ? port : 0;
}

std::wstring ProxyAddress(const std::string& userInfo, std::uint16_t port) {
    return test::Widen("http://" + userInfo + "127.0.0.1:" + std::to_string(port));
}

class ProxyDownload : public ::testing::Test {
protected:
    void SetUp() override {
        if (!LocalServices::Installed(kTinyproxy)) {
            GTEST_SKIP() << "tinyproxy is not installed here (scripts/bootstrap installs it)";
        }
        ASSERT_TRUE(server.Started());
        server.ServeBytes("/db.zip", body);
    }

    // The server's last request came through tinyproxy, which names itself in Via.
    bool LastRequestCameThroughTheProxy() const {
        const auto requests = server.Requests();
        return !requests.empty() &&
               requests.back().Header("Via").find("tinyproxy") != std::string::npos;
    }

    const std::vector<std::uint8_t> body = test::PatternBytes(40 * 1024, 3);
    test::HttpTestServer server;
    LocalServices services;
    test::ScratchFolder folder;
    CHttpDownload downloader;
};

TEST_F(ProxyDownload, ANamedProxyOrTheOwnersProxyCarriesTheRequest) {
    const std::uint16_t port = StartProxy(services);
    ASSERT_NE(port, 0) << services.ReadFile("proxy.out");
    struct Case {
        const char* name;
        int accessType;
        std::wstring proxyName;
        NetworkSettings network;
    };
    const Case cases[] = {
        {"a named proxy", 2, test::Widen("127.0.0.1:" + std::to_string(port)), {}},
        // What --proxy does to callers that ask for the system's settings.
        {"the owner's proxy in place of the system's settings", 0, L"",
         ThroughProxy(ProxyAddress("", port))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring file = folder.File("db.zip");
        const test::Finished end = Download(downloader, server.WideUrl("/db.zip"), file,
                                            c.accessType, c.proxyName, c.network);
        EXPECT_EQ(end.result, 0u);
        EXPECT_EQ(test::ReadAll(file), body);
        EXPECT_TRUE(LastRequestCameThroughTheProxy());
    }
}

TEST_F(ProxyDownload, AProxyThatAsksForCredentialsGetsThoseOfItsAddress) {
    const std::uint16_t port = StartProxy(services, "kivrel s3cret");
    ASSERT_NE(port, 0) << services.ReadFile("proxy.out");
    struct Case {
        const char* name;
        std::string userInfo;
        std::uint32_t result;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"no credentials", "", 5, 407},
        {"right credentials", "kivrel:s3cret@", 0, 0},
        // tinyproxy answers a refused password with 401 rather than 407.
        {"wrong password", "kivrel:wrong@", 5, 401},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server.RequestCount("/db.zip");
        const std::wstring file = folder.File("db.zip");
        const test::Finished end = Download(downloader, server.WideUrl("/db.zip"), file, 0, L"",
                                            ThroughProxy(ProxyAddress(c.userInfo, port)));
        EXPECT_EQ(end.result, c.result);
        EXPECT_EQ(end.value, c.value);
        // A refused login is a failed download: no file, and nothing reached the server.
        EXPECT_EQ(test::Exists(file), c.result == 0);
        if (c.result == 0) {
            EXPECT_EQ(test::ReadAll(file), body);
            EXPECT_TRUE(LastRequestCameThroughTheProxy());
        } else {
            EXPECT_EQ(server.RequestCount("/db.zip"), before);
        }
    }
}

#ifndef _WIN32
// Sets proxy variables for one case and restores the environment afterwards.
using Variables = std::vector<std::pair<std::string, std::string>>;
class ProxyEnvironment {
public:
    explicit ProxyEnvironment(const Variables& values) : names(values) {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                 "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            if (const char* old = std::getenv(name)) saved.emplace_back(name, old);
            ::unsetenv(name);
        }
        for (const auto& [name, value] : values) ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value] : names) ::unsetenv(name.c_str());
        for (const auto& [name, value] : saved) ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    Variables saved;
    Variables names;
};

TEST_F(ProxyDownload, TheSystemSettingsAreTheEnvironmentsProxyUnlessNoProxyNamesTheHost) {
    const std::uint16_t port = StartProxy(services);
    ASSERT_NE(port, 0) << services.ReadFile("proxy.out");
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    struct Case {
        const char* name;
        Variables variables;
        bool throughProxy;
    };
    const Case cases[] = {
        {"http_proxy", {{"http_proxy", proxy}}, true},
        {"HTTP_PROXY", {{"HTTP_PROXY", proxy}}, true},
        {"all_proxy", {{"all_proxy", proxy}}, true},
        {"no_proxy naming the address", {{"http_proxy", proxy}, {"no_proxy", "127.0.0.1"}}, false},
        {"NO_PROXY with a range",
         {{"http_proxy", proxy}, {"NO_PROXY", "x.example,127.0.0.0/8"}},
         false},
        {"only https_proxy, for an http address", {{"https_proxy", proxy}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProxyEnvironment environment(c.variables);
        const std::wstring file = folder.File("db.zip");
        const test::Finished end =
            Download(downloader, server.WideUrl("/db.zip"), file, 0, L"", {});
        EXPECT_EQ(end.result, 0u);
        EXPECT_EQ(test::ReadAll(file), body);
        EXPECT_EQ(LastRequestCameThroughTheProxy(), c.throughProxy);
    }
}
#endif

// An authority made for the test, another that nobody trusts, and server certificates from
// them (one of them out of date), by the openssl command line. The servers' names are in
// subjectAltName (WinInet, like browsers, ignores the common name when there is one). Empty when
// made, else why not.
std::string MakeCertificates(LocalServices& services) {
    const std::string config =
        "[req]\ndistinguished_name = dn\nprompt = no\n"
        "[dn]\nCN = Kivrel test authority\n"
        "[authority]\nbasicConstraints = critical,CA:TRUE\n"
        "keyUsage = critical,keyCertSign,cRLSign\nsubjectKeyIdentifier = hash\n"
        "[localhost]\nsubjectAltName = DNS:localhost,IP:127.0.0.1\n"
        "extendedKeyUsage = serverAuth\n"
        "[other]\nsubjectAltName = DNS:other.kivrel.example\nextendedKeyUsage = serverAuth\n";
    // Elliptic-curve keys: made in milliseconds, where RSA keys take a good part of a second.
    const std::string newKey =
        " -config openssl.cnf -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string sign = " -req -in server.csr -days 2 -extfile openssl.cnf";
    const std::string steps[] = {
        "req -x509 -extensions authority -days 2 -keyout ca.key -out ca.pem" + newKey,
        "req -x509 -extensions authority -days 2 -subj '/CN=Nobody trusts me' -keyout "
        "stranger.key -out stranger.pem" +
            newKey,
        "req -new -subj /CN=localhost -keyout server.key -out server.csr" + newKey,
        "x509" + sign +
            " -CA ca.pem -CAkey ca.key -set_serial 11 -extensions localhost -out "
            "vouched.pem",
        "x509" + sign +
            " -CA ca.pem -CAkey ca.key -set_serial 12 -extensions other -out "
            "other-name.pem",
        "x509" + sign +
            " -CA stranger.pem -CAkey stranger.key -set_serial 13 -extensions "
            "localhost -out other-authority.pem",
        // Valid until a day before it was made.
        "x509 -req -in server.csr -days -1 -extfile openssl.cnf -CA ca.pem -CAkey ca.key "
        "-set_serial 14 -extensions localhost -out out-of-date.pem",
    };
    std::string script = "set -e\n";
    for (const std::string& step : steps) script += std::string(test::kOpenssl) + " " + step + "\n";
    if (!services.WriteFile("openssl.cnf", config) ||
        !services.WriteFile("make-certificates", script)) {
        return "cannot write into " + services.ProgramPath("");
    }
    if (!services.Run("sh make-certificates > openssl.out 2>&1", kToolBound)) {
        return "openssl could not make the certificates: " + services.ReadFile("openssl.out");
    }
    return {};
}

// nginx serving one file over TLS on each port, with the certificate (from MakeCertificates)
// given for it, and over plain HTTP on `plainPort`; "/to-http.zip" on each TLS server redirects
// to the plain one. Empty when it runs, else why not.
std::string StartHttpsServer(LocalServices& services, const std::vector<std::uint8_t>& body,
                             const std::vector<std::pair<std::uint16_t, std::string>>& servers,
                             std::uint16_t plainPort) {
    std::filesystem::create_directories(services.LocalPath("www"));
    if (!services.WriteFile(
            "www/db.zip",
            std::string_view(reinterpret_cast<const char*>(body.data()), body.size()))) {
        return "cannot write the served file";
    }
    std::string config = "daemon off;\nmaster_process off;\npid " +
                         services.ProgramPath("nginx.pid") +
                         ";\nevents { worker_connections 64; }\nhttp {\n  access_log " +
                         services.ProgramPath("access.log") + ";\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        config += std::string("  ") + temp + "_temp_path " + services.ProgramPath("temp") + ";\n";
    }
    for (const auto& [port, certificate] : servers) {
        config +=
            "  server { listen 127.0.0.1:" + std::to_string(port) + " ssl; ssl_certificate " +
            services.ProgramPath(certificate) + "; ssl_certificate_key " +
            services.ProgramPath("server.key") + "; root " + services.ProgramPath("www") +
            "; location = /to-http.zip { return 302 http://127.0.0.1:" + std::to_string(plainPort) +
            "/db.zip; } }\n";
    }
    config += "  server { listen 127.0.0.1:" + std::to_string(plainPort) + "; root " +
              services.ProgramPath("www") + "; }\n}\n";
    if (!services.WriteFile("nginx.conf", config)) return "cannot write nginx.conf";
    const std::string command = std::string(test::kNginx) + " -p '" + services.ProgramPath("") +
                                "' -e '" + services.ProgramPath("nginx-error.log") + "' -c '" +
                                services.ProgramPath("nginx.conf") + "'";
    std::vector<std::uint16_t> ports = {plainPort};
    for (const auto& [port, certificate] : servers) ports.push_back(port);
    const bool started = services.Start(command, ports);
    return started ? std::string{} : "nginx did not start: " + services.ReadFile("nginx-error.log");
}

// The servers are made once for the suite: under Wine the authority must be trusted before the
// process checks its first certificate chain.
class HttpsDownload : public ::testing::Test {
protected:
    struct Servers {
        LocalServices services;
        std::uint16_t vouched = LocalServices::FreePort();
        std::uint16_t otherName = LocalServices::FreePort();
        std::uint16_t otherAuthority = LocalServices::FreePort();
        std::uint16_t outOfDate = LocalServices::FreePort();
        // The same as `vouched`, reached only through a proxy: WinInet keeps connections to a
        // host and port for the whole process, proxy or not.
        std::uint16_t tunnelled = LocalServices::FreePort();
        std::uint16_t plain = LocalServices::FreePort();
        std::unique_ptr<test::TrustedAuthority> trust;
    };

    static void SetUpTestSuite() {
        for (const char* program : {test::kNginx, test::kOpenssl}) {
            if (!LocalServices::Installed(program)) {
                skipReason =
                    std::string(program) + " is not installed here (scripts/bootstrap installs it)";
                return;
            }
        }
        servers = std::make_unique<Servers>();
        Servers& s = *servers;
        skipReason = MakeCertificates(s.services);
        if (skipReason.empty()) {
            skipReason = StartHttpsServer(s.services, Body(),
                                          {{s.vouched, "vouched.pem"},
                                           {s.otherName, "other-name.pem"},
                                           {s.otherAuthority, "other-authority.pem"},
                                           {s.outOfDate, "out-of-date.pem"},
                                           {s.tunnelled, "vouched.pem"}},
                                          s.plain);
        }
        if (skipReason.empty()) {
            s.trust = std::make_unique<test::TrustedAuthority>(s.services.LocalPath("ca.pem"));
            if (!s.trust->Trusted()) skipReason = "the test's authority cannot be trusted here";
        }
    }
    static void TearDownTestSuite() { servers.reset(); }

    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    static std::wstring Url(std::uint16_t port) {
        return test::Widen("https://localhost:" + std::to_string(port) + "/db.zip");
    }

    static const std::vector<std::uint8_t>& Body() {
        static const std::vector<std::uint8_t> body = test::PatternBytes(70 * 1024, 5);
        return body;
    }

    static inline std::unique_ptr<Servers> servers;
    static inline std::string skipReason;
    test::ScratchFolder folder;
    CHttpDownload downloader;
};

TEST_F(HttpsDownload, AServerTheTrustedAuthorityVouchesForDeliversTheFile) {
    const std::wstring file = folder.File("db.zip");

    const test::Finished end =
        Download(downloader, Url(servers->vouched), file, 1, L"", servers->trust->Settings());

    EXPECT_EQ(end.result, 0u);
    EXPECT_EQ(end.value, 0u);
    EXPECT_EQ(test::ReadAll(file), Body());
}

TEST_F(HttpsDownload, ACertificateThatDoesNotProveTheServerEndsTheDownload) {
    struct Case {
        const char* name;
        std::uint16_t port;
        bool trusted;
        Values values;
    };
    const Case cases[] = {
        {"a certificate for another host name", servers->otherName, true, kWrongName},
        {"a certificate out of date", servers->outOfDate, true, kOutOfDate},
        {"an authority nobody trusts", servers->otherAuthority, true, kUnknownAuthority},
#ifndef _WIN32
        // The system's bundle does not hold the test's authority. (Windows trusts it for the
        // whole process.)
        {"the authority not given", servers->vouched, false, kUnknownAuthority},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring file = folder.File("db.zip");
        const test::Finished end =
            Download(downloader, Url(c.port), file, 1, L"",
                     c.trusted ? servers->trust->Settings() : NetworkSettings{});
        EXPECT_EQ(end.result, 2u);
        EXPECT_NE(std::find(c.values.begin(), c.values.end(), end.value), c.values.end())
            << end.value;
        EXPECT_FALSE(test::Exists(file));
    }
}

TEST_F(HttpsDownload, ARedirectFromHttpsToHttpIsRefused) {
    const std::wstring file = folder.File("db.zip");
    const std::wstring url =
        test::Widen("https://localhost:" + std::to_string(servers->vouched) + "/to-http.zip");

    const test::Finished end = Download(downloader, url, file, 1, L"", servers->trust->Settings());

    EXPECT_EQ(end.result, 2u);
    EXPECT_EQ(end.value, kHttpsToHttp);
    EXPECT_FALSE(test::Exists(file));
}

TEST_F(HttpsDownload, HttpsGoesThroughAProxyThatAsksForCredentials) {
    if (!LocalServices::Installed(kTinyproxy)) {
        GTEST_SKIP() << "tinyproxy is not installed here (scripts/bootstrap installs it)";
    }
    LocalServices proxyServices;
    const std::uint16_t port = StartProxy(proxyServices, "kivrel s3cret");
    ASSERT_NE(port, 0) << proxyServices.ReadFile("proxy.out");
    const std::wstring file = folder.File("db.zip");

    const test::Finished end =
        Download(downloader, Url(servers->tunnelled), file, 0, L"",
                 ThroughProxy(ProxyAddress("kivrel:s3cret@", port), servers->trust->Settings()));

    EXPECT_EQ(end.result, 0u);
    EXPECT_EQ(end.value, 0u);
    EXPECT_EQ(test::ReadAll(file), Body());
    // The proxy was asked for a tunnel to the server.
    EXPECT_NE(proxyServices.ReadFile("proxy.log")
                  .find("): CONNECT localhost:" + std::to_string(servers->tunnelled)),
              std::string::npos)
        << proxyServices.ReadFile("proxy.log");
}

}  // namespace
}  // namespace kivrel
