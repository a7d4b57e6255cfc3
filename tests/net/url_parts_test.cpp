// Download addresses come from a server's version file: they must split into exactly the
// host, port and path requested, and anything else must be refused rather than guessed.

#include "net/url_parts.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(ParseUrl, SplitsSchemeHostPortAndPath) {
    struct Case {
        std::wstring_view url;
        std::uint32_t service;
        std::wstring_view host;
        std::uint16_t port;
        std::wstring_view path;
    };
    constexpr Case cases[] = {
        {L"http://update.example/db/version.txt", kServiceHttp, L"update.example", 80,
         L"/db/version.txt"},
        {L"HTTPS://update.example/db.zip", kServiceHttps, L"update.example", 443, L"/db.zip"},
        {L"http://127.0.0.1:8080/a?b=1#frag", kServiceHttp, L"127.0.0.1", 8080, L"/a?b=1"},
        {L"http://host", kServiceHttp, L"host", 80, L"/"},
        {L"http://host?x", kServiceHttp, L"host", 80, L"/?x"},
        {L"http://[::1]:81/x", kServiceHttp, L"::1", 81, L"/x"},
        {L"http://host/a b", kServiceHttp, L"host", 80, L"/a%20b"},
        {L"http://host/\u6570\u636e.zip", kServiceHttp, L"host", 80, L"/%E6%95%B0%E6%8D%AE.zip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url.begin(), c.url.end()));
        const auto parts = ParseUrl(c.url);
        ASSERT_TRUE(parts);
        EXPECT_EQ(parts->serviceType, c.service);
        EXPECT_EQ(parts->serverName, c.host);
        EXPECT_EQ(parts->port, c.port);
        EXPECT_EQ(parts->objectPath, c.path);
    }
}

TEST(ParseUrl, RefusesWhatIsNotAPlainHttpAddress) {
    constexpr std::wstring_view bad[] = {
        L"",
        L"update.example/db.zip",  // no scheme: the caller retries with "http://"
        L"127.0.0.1:8080/db.zip",
        L"ftp://host/file",
        L"http://",
        L"http:///path",
        L"http://user:pw@host/x",
        L"http://host:/x",
        L"http://http://host/x",  // what a second "http://" in front gives
        L"http://host:0/x",
        L"http://host:65536/x",
        L"http://host:8o/x",
        L"http://ho st/x",
        L"http://[::1/x",
        L"http://[::1]x/",
        L"http://host/a\nb",
        L"http://h\u00f6st/x",
    };
    for (const std::wstring_view url : bad) {
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        EXPECT_FALSE(ParseUrl(url));
    }
}

TEST(UrlText, RebuildsTheAddressAClientLibraryIsGiven) {
    EXPECT_EQ(UrlText(*ParseUrl(L"http://host:80/a?b")), "http://host/a?b");
    EXPECT_EQ(UrlText(*ParseUrl(L"https://host:8443/a")), "https://host:8443/a");
    EXPECT_EQ(UrlText(*ParseUrl(L"http://[::1]:81/x")), "http://[::1]:81/x");
}

}  // namespace
}  // namespace kivrel
