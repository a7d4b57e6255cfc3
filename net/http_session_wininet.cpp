// WinInet backend of the HTTP seam (Windows): the Internet handle, the connection and the
// request, in the order and with the flags the downloader has always used, except that
// certificate errors are never ignored.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "base/unique_resource.h"
#include "net/http_headers.h"
#include "net/http_session.h"

namespace kivrel {
namespace {

struct InternetHandleTraits {
    using Native = HINTERNET;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native h) noexcept { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

// Reload, no cache write, keep the connection, pragma no-cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE;
// Reads are sized to what has arrived, so a large piece costs no waiting; it saves calls and
// file writes when data comes fast.
constexpr std::size_t kPieceBytes = 64 * 1024;

void CALLBACK IgnoreStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {}

[[nodiscard]] std::uint32_t LastError() noexcept {
    return ::GetLastError();
}

class WinInetSession final : public HttpSession {
public:
    ~WinInetSession() override { Close(); }

    std::uint32_t Open(const SessionOptions& options) override {
        promptOwner = static_cast<HWND>(options.promptOwner);
        // Certificates are checked against the system's store only; a file of authorities
        // silently ignored would pretend to a check that is not made.
        if (!options.caFile.empty()) return ERROR_INVALID_PARAMETER;
        DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
        const wchar_t* proxy = nullptr;
        if (options.accessType == 1) access = INTERNET_OPEN_TYPE_DIRECT;
        if (options.accessType == 2) {
            access = INTERNET_OPEN_TYPE_PROXY;
            proxy = options.proxyName.c_str();
        }
        internet.Reset(::InternetOpenW(options.agent.c_str(), access, proxy, nullptr, 0));
        return internet.Valid() ? 0 : LastError();
    }

    std::uint32_t RegisterStatusCallback() override {
        if (::InternetSetStatusCallbackW(internet.Get(), IgnoreStatus) ==
            INTERNET_INVALID_STATUS_CALLBACK) {
            return LastError();
        }
        return 0;
    }

    std::uint32_t Connect(const UrlParts& url, const std::wstring& user,
                          const std::wstring& secret) override {
        const bool withUser = !user.empty();
        connection.Reset(::InternetConnectW(
            internet.Get(), url.serverName.c_str(), url.port, withUser ? user.c_str() : nullptr,
            withUser ? secret.c_str() : nullptr, INTERNET_SERVICE_HTTP, 0,
            reinterpret_cast<DWORD_PTR>(this)));
        return connection.Valid() ? 0 : LastError();
    }

    std::uint32_t OpenRequest(const UrlParts& url) override {
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        // What is written into a unit must not be open to interception: no flags that
        // ignore a wrong certificate name or date.
        const DWORD flags = kRequestFlags | (url.Secure() ? INTERNET_FLAG_SECURE : 0);
        request.Reset(::HttpOpenRequestW(connection.Get(), L"GET", url.objectPath.c_str(),
                                         L"HTTP/1.1", nullptr, acceptTypes, flags,
                                         reinterpret_cast<DWORD_PTR>(this)));
        return request.Valid() ? 0 : LastError();
    }

    std::uint32_t Send(std::string_view headers) override {
        const std::wstring wide = Utf8ToWide(headers);
        const BOOL sent = ::HttpSendRequestW(request.Get(), wide.empty() ? nullptr : wide.c_str(),
                                             static_cast<DWORD>(wide.size()), nullptr, 0);
        return sent ? 0 : LastError();
    }

    std::uint32_t QueryStatus(std::uint32_t& status) override {
        DWORD code = 0;
        DWORD size = sizeof code;
        if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                              &size, nullptr)) {
            return LastError();
        }
        status = code;
        return 0;
    }

    std::optional<std::uint64_t> QueryContentLength() override {
        const std::optional<std::string> text = Query(HTTP_QUERY_CONTENT_LENGTH, {});
        if (!text) return std::nullopt;
        return ParseDecimalCount(*text);
    }

    std::optional<std::string> QueryHeader(std::string_view name) override {
        return Query(HTTP_QUERY_CUSTOM, Utf8ToWide(name));
    }

    std::uint32_t Read(std::size_t limit, std::span<const std::uint8_t>& piece) override {
        piece = {};
        // Waits until something has arrived, so the read below never waits for a whole
        // piece and a cancel is seen between pieces as they come.
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0)) return LastError();
        if (available == 0) return 0;
        buffer.resize(std::min<std::size_t>({available, limit, kPieceBytes}));
        DWORD read = 0;
        if (!::InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                &read)) {
            return LastError();
        }
        piece = std::span<const std::uint8_t>(buffer).first(read);
        return 0;
    }

    void SetServerCredentials(const std::wstring& user, const std::wstring& secret) override {
        SetText(INTERNET_OPTION_USERNAME, user);
        SetText(INTERNET_OPTION_PASSWORD, secret);
    }

    void SetProxyCredentials(const std::wstring& user, const std::wstring& secret) override {
        SetText(INTERNET_OPTION_PROXY_USERNAME, user);
        SetText(INTERNET_OPTION_PROXY_PASSWORD, secret);
    }

    CredentialAnswer PromptCredentials() override {
        const DWORD answer = ::InternetErrorDlg(
            promptOwner != nullptr ? promptOwner : ::GetDesktopWindow(), request.Get(),
            ERROR_INTERNET_INCORRECT_PASSWORD,
            FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
            nullptr);
        return answer == ERROR_INTERNET_FORCE_RETRY ? CredentialAnswer::kSendAgain
                                                    : CredentialAnswer::kGoOn;
    }

    std::size_t PieceBytes() const noexcept override { return kPieceBytes; }
    std::uint32_t ShortBodyError() const noexcept override {
        return ERROR_INTERNET_CONNECTION_ABORTED;
    }

    void Close() noexcept override {
        request.Reset();
        connection.Reset();
        internet.Reset();
    }

private:
    void SetText(DWORD option, const std::wstring& text) {
        ::InternetSetOptionW(request.Get(), option, const_cast<wchar_t*>(text.c_str()),
                             static_cast<DWORD>(text.size()));
    }

    // A header's value as ASCII text; nullopt when absent or not plain ASCII.
    std::optional<std::string> Query(DWORD what, const std::wstring& name) {
        std::wstring buffer(std::max<std::size_t>(name.size() + 1, 256), L'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::copy(name.begin(), name.end(), buffer.begin());
            buffer[name.size()] = L'\0';
            DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            if (::HttpQueryInfoW(request.Get(), what, buffer.data(), &size, nullptr)) {
                std::string text;
                for (std::size_t i = 0; i < size / sizeof(wchar_t); ++i) {
                    if (buffer[i] < 0x20 || buffer[i] > 0x7E) return std::nullopt;
                    text += static_cast<char>(buffer[i]);
                }
                return text;
            }
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 64 * 1024) break;
            buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        }
        return std::nullopt;
    }

    HWND promptOwner = nullptr;
    std::vector<std::uint8_t> buffer;  // the last piece read
    UniqueInternetHandle internet;
    UniqueInternetHandle connection;
    UniqueInternetHandle request;
};

}  // namespace

std::unique_ptr<HttpSession> MakeHttpSession() {
    return std::make_unique<WinInetSession>();
}

}  // namespace kivrel
