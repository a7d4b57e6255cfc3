// WinInet backend of the HTTP seam (Windows): the Internet handle, the connection and the
// request, in the order and with the flags the downloader has always used, except that
// certificate errors are never ignored and redirects are followed here, so that an https
// address is never taken to http.
//
// WinInet's calls block until the server answers, and a cancel cannot end them: Windows ends
// a blocked call when its handle is closed, Wine does not. So the calls that wait on the
// server (sending, and waiting for body bytes) run on a thread of their own while the
// transfer's thread waits for them, looking at the cancel flag and the downloader's bounds
// twenty times a second. A call given up on is left to end on its thread, bounded by
// WinInet's own timeouts, and its handles are closed there once it has.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
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

constexpr auto kWaitSlice = std::chrono::milliseconds(50);
constexpr DWORD kConnectTimeoutMs = 30000;
// WinInet's own timeouts bound a call the transfer's thread has given up on; they are a
// little longer than the downloader's, which end the wait first.
constexpr DWORD kLibraryTimeoutMarginMs = 5000;
constexpr DWORD kWsaTimedOut = 10060;  // what Wine reports for a receive timeout

void CALLBACK IgnoreStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {}

[[nodiscard]] std::uint32_t LastError() noexcept {
    return ::GetLastError();
}

[[nodiscard]] bool IsRedirect(DWORD status) noexcept {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The thread the blocking calls run on, and what it shares with the session.
class CallThread {
public:
    CallThread() = default;
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;
    ~CallThread() { Leave({}); }

    // Runs `call` there and waits for its result, asking `giveUp` every slice; false when it
    // said to stop waiting (the call then goes on there).
    [[nodiscard]] bool Run(std::function<DWORD()> call, DWORD& result,
                           const std::function<bool()>& giveUp) {
        if (!thread.joinable()) thread = std::thread(Loop, shared);
        std::unique_lock lock(shared->mutex);
        shared->call = std::move(call);
        shared->busy = true;
        shared->changed.notify_all();
        while (shared->busy) {
            if (shared->changed.wait_for(lock, kWaitSlice) == std::cv_status::timeout &&
                shared->busy && giveUp()) {
                return false;
            }
        }
        result = shared->result;
        return true;
    }

    // Ends the thread: at once when it is idle, else once its call has returned; `handles`
    // are closed then (a call given up on still uses them).
    void Leave(std::vector<UniqueResource<InternetHandleTraits>> handles) {
        if (!thread.joinable()) return;
        std::unique_lock lock(shared->mutex);
        shared->leftBehind = std::move(handles);
        shared->quit = true;
        shared->changed.notify_all();
        const bool idle = !shared->busy;
        lock.unlock();
        if (idle) {
            thread.join();
        } else {
            thread.detach();
        }
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::function<DWORD()> call;
        bool busy = false;
        bool quit = false;
        DWORD result = 0;
        std::vector<UniqueResource<InternetHandleTraits>> leftBehind;
    };

    static void Loop(std::shared_ptr<Shared> shared) {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->changed.wait(lock, [&] { return shared->quit || shared->call; });
            if (shared->call) {
                std::function<DWORD()> call = std::move(shared->call);
                shared->call = nullptr;
                lock.unlock();
                const DWORD result = call();
                lock.lock();
                shared->result = result;
                shared->busy = false;
                shared->changed.notify_all();
            }
            if (shared->quit && !shared->busy) {
                for (auto& handle : shared->leftBehind) handle.Reset();  // request first
                shared->leftBehind.clear();
                return;
            }
        }
    }

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::thread thread;
};

class WinInetSession final : public HttpSession {
public:
    ~WinInetSession() override { Close(); }

    std::uint32_t Open(const SessionOptions& options) override {
        promptOwner = static_cast<HWND>(options.promptOwner);
        abortRequested = options.abortRequested;
        deadline = options.deadline;
        stallLimit = options.stallLimit;
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
        if (!internet.Valid()) return LastError();
        const DWORD stallMs = static_cast<DWORD>(
            std::clamp<std::int64_t>(stallLimit.count(), 1000, 24 * 3600 * 1000));
        SetNumber(internet.Get(), INTERNET_OPTION_CONNECT_TIMEOUT,
                  std::min(kConnectTimeoutMs, stallMs) + kLibraryTimeoutMarginMs);
        SetNumber(internet.Get(), INTERNET_OPTION_SEND_TIMEOUT, stallMs + kLibraryTimeoutMarginMs);
        SetNumber(internet.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT,
                  stallMs + kLibraryTimeoutMarginMs);
        return 0;
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
        serverUser = user;
        serverPassword = secret;
        return ConnectTo(url, true);
    }

    std::uint32_t OpenRequest(const UrlParts& url) override {
        address = url;
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        // What is written into a unit must not be open to interception: no flags that
        // ignore a wrong certificate name or date, and redirects checked here.
        const DWORD flags = kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT |
                            (url.Secure() ? INTERNET_FLAG_SECURE : 0);
        request.Reset(::HttpOpenRequestW(connection.Get(), L"GET", url.objectPath.c_str(),
                                         L"HTTP/1.1", nullptr, acceptTypes, flags,
                                         reinterpret_cast<DWORD_PTR>(this)));
        return request.Valid() ? 0 : LastError();
    }

    std::uint32_t Send(std::string_view headers) override {
        const std::wstring wide = Utf8ToWide(headers);
        for (int redirects = 0;; ++redirects) {
            const HINTERNET sending = request.Get();
            DWORD error = 0;
            const bool answered = Blocking(
                [sending, wide] {
                    return ::HttpSendRequestW(sending, wide.empty() ? nullptr : wide.c_str(),
                                              static_cast<DWORD>(wide.size()), nullptr, 0)
                               ? DWORD{0}
                               : ::GetLastError();
                },
                error);
            if (!answered) return error;
            if (error != 0) return Translated(error);
            std::uint32_t status = 0;
            if (QueryStatus(status) != 0 || !IsRedirect(status)) return 0;
            const std::optional<std::string> location = Query(HTTP_QUERY_LOCATION, {});
            if (!location) return 0;  // a redirect to nowhere: its status stands
            const std::optional<UrlParts> next = ResolveLocation(address, *location);
            if (!next) return ERROR_HTTP_INVALID_HEADER;
            if (address.Secure() && !next->Secure()) return ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
            if (redirects == kMaxRedirects) return ERROR_HTTP_REDIRECT_FAILED;
            // Credentials given for one server are not handed to another.
            const bool sameServer =
                next->serverName == address.serverName && next->port == address.port;
            request.Reset();
            if (const std::uint32_t reconnect = ConnectTo(*next, sameServer)) return reconnect;
            if (const std::uint32_t reopen = OpenRequest(*next)) return reopen;
        }
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
        // Waits until something has arrived, so the read never waits for a whole piece and a
        // cancel is seen between pieces as they come.
        const HINTERNET reading = request.Get();
        const std::shared_ptr<std::vector<std::uint8_t>> into = buffer;
        const std::size_t most = std::min(limit, kPieceBytes);
        DWORD error = 0;
        const bool answered = Blocking(
            [reading, into, most] {
                DWORD available = 0;
                if (!::InternetQueryDataAvailable(reading, &available, 0, 0)) {
                    return ::GetLastError();
                }
                into->resize(std::min<std::size_t>(available, most));
                if (into->empty()) return DWORD{0};
                DWORD read = 0;
                if (!::InternetReadFile(reading, into->data(), static_cast<DWORD>(into->size()),
                                        &read)) {
                    into->clear();
                    return ::GetLastError();
                }
                into->resize(read);
                return DWORD{0};
            },
            error);
        if (!answered) return error;
        if (error != 0) return Translated(error);
        piece = std::span<const std::uint8_t>(*buffer);
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
    std::uint32_t TimeoutError() const noexcept override { return ERROR_INTERNET_TIMEOUT; }
    std::uint32_t TooLargeError() const noexcept override { return ERROR_FILE_TOO_LARGE; }

    void Close() noexcept override {
        if (abandoned) return;
        request.Reset();
        connection.Reset();
        internet.Reset();
        calls.Leave({});
    }

private:
    // Runs a blocking call on the call thread. False when the wait was given up (cancel or a
    // bound), with `error` saying which; the session is then spent.
    [[nodiscard]] bool Blocking(std::function<DWORD()> call, DWORD& error) {
        if (abandoned) {
            error = ERROR_INTERNET_OPERATION_CANCELLED;
            return false;
        }
        const auto start = std::chrono::steady_clock::now();
        bool cancelled = false;
        const bool answered = calls.Run(std::move(call), error, [&] {
            cancelled =
                abortRequested != nullptr && abortRequested->load(std::memory_order_relaxed) != 0;
            const auto now = std::chrono::steady_clock::now();
            return cancelled || now >= deadline || now - start >= stallLimit;
        });
        if (answered) return true;
        // The call still runs with these handles: they are closed on its thread after it.
        std::vector<UniqueInternetHandle> handles;
        handles.push_back(std::move(request));
        handles.push_back(std::move(connection));
        handles.push_back(std::move(internet));
        calls.Leave(std::move(handles));
        abandoned = true;
        error = cancelled ? ERROR_INTERNET_OPERATION_CANCELLED : ERROR_INTERNET_TIMEOUT;
        return false;
    }

    // A timeout of the library's own reads as the downloader's.
    [[nodiscard]] static std::uint32_t Translated(DWORD error) noexcept {
        return error == kWsaTimedOut ? DWORD{ERROR_INTERNET_TIMEOUT} : error;
    }

    std::uint32_t ConnectTo(const UrlParts& url, bool withCredentials) {
        const bool withUser = withCredentials && !serverUser.empty();
        connection.Reset(::InternetConnectW(
            internet.Get(), url.serverName.c_str(), url.port,
            withUser ? serverUser.c_str() : nullptr, withUser ? serverPassword.c_str() : nullptr,
            INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(this)));
        return connection.Valid() ? 0 : LastError();
    }

    static void SetNumber(HINTERNET handle, DWORD option, DWORD value) {
        ::InternetSetOptionW(handle, option, &value, sizeof value);
    }

    void SetText(DWORD option, const std::wstring& text) {
        ::InternetSetOptionW(request.Get(), option, const_cast<wchar_t*>(text.c_str()),
                             static_cast<DWORD>(text.size()));
    }

    // A header's value as ASCII text; nullopt when absent or not plain ASCII.
    std::optional<std::string> Query(DWORD what, const std::wstring& name) {
        std::wstring text(std::max<std::size_t>(name.size() + 1, 256), L'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::copy(name.begin(), name.end(), text.begin());
            text[name.size()] = L'\0';
            DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            if (::HttpQueryInfoW(request.Get(), what, text.data(), &size, nullptr)) {
                std::string ascii;
                for (std::size_t i = 0; i < size / sizeof(wchar_t); ++i) {
                    if (text[i] < 0x20 || text[i] > 0x7E) return std::nullopt;
                    ascii += static_cast<char>(text[i]);
                }
                return ascii;
            }
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 64 * 1024) break;
            text.assign(size / sizeof(wchar_t) + 1, L'\0');
        }
        return std::nullopt;
    }

    HWND promptOwner = nullptr;
    const std::atomic<std::int32_t>* abortRequested = nullptr;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds stallLimit{60000};
    std::wstring serverUser;
    std::wstring serverPassword;
    UrlParts address;
    // The last piece read; shared with the call thread, which fills it.
    std::shared_ptr<std::vector<std::uint8_t>> buffer =
        std::make_shared<std::vector<std::uint8_t>>();
    bool abandoned = false;
    UniqueInternetHandle internet;
    UniqueInternetHandle connection;
    UniqueInternetHandle request;
    CallThread calls;
};

}  // namespace

std::unique_ptr<HttpSession> MakeHttpSession() {
    return std::make_unique<WinInetSession>();
}

}  // namespace kivrel
