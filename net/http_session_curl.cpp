// libcurl backend of the HTTP seam (Linux, macOS). libcurl pushes body bytes into a callback;
// the seam pulls them piece by piece, so the transfer is driven through a multi handle and
// what arrives is kept until read. Every wait polls the cancel flag at least ten times a
// second and ends at the downloader's deadline, or once the server has sent nothing for the
// stall limit, so a transfer thread always ends soon after a cancel.

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "base/native_path.h"
#include "base/text.h"
#include "net/http_headers.h"
#include "net/http_session.h"
#include "net/proxy_settings.h"

namespace kivrel {
namespace {

// libcurl hands over at most its buffer size per callback. A larger buffer means fewer
// callbacks and fewer pieces; the file then gets one write per piece.
constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr std::size_t kPieceBytes = 256 * 1024;
// One pass of libcurl may deliver many buffers at once. Past this much unread data the
// transfer is paused instead of growing the buffer, so the buffer is allocated once and never
// moves (a growing one costs copies and fresh pages on every download).
constexpr std::size_t kPendingBytes = 2 * 1024 * 1024;
constexpr int kPollMs = 100;
constexpr long kConnectTimeoutMs = 30000;
using Clock = std::chrono::steady_clock;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class CurlSession final : public HttpSession {
public:
    ~CurlSession() override { Close(); }

    std::uint32_t Open(const SessionOptions& options) override {
        GlobalInit();
        abortRequested = options.abortRequested;
        deadline = options.deadline;
        stallLimit = options.stallLimit;
        easy = curl_easy_init();
        multi = curl_multi_init();
        if (easy == nullptr || multi == nullptr) return CURLE_FAILED_INIT;
        pending.reserve(kPendingBytes);
        CURLcode result = CURLE_OK;
        const auto set = [&](CURLoption option, auto value) {
            if (result == CURLE_OK) result = curl_easy_setopt(easy, option, value);
        };
        agent = WideToUtf8(options.agent);
        set(CURLOPT_USERAGENT, agent.c_str());
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
        // What is written into a unit must not be open to interception.
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        set(CURLOPT_CONNECTTIMEOUT_MS,
            std::min<long>(kConnectTimeoutMs, static_cast<long>(stallLimit.count())));
        set(CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        set(CURLOPT_WRITEFUNCTION, &CurlSession::OnBody);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_HEADERFUNCTION, &CurlSession::OnHeader);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_NOPROGRESS, 0L);
        set(CURLOPT_XFERINFOFUNCTION, &CurlSession::OnProgress);
        set(CURLOPT_XFERINFODATA, this);
        if (!options.caFile.empty()) {
            if (!NativeFromWide(options.caFile, caFile)) return CURLE_SSL_CACERT_BADFILE;
            set(CURLOPT_CAINFO, caFile.c_str());
        }
        accessType = options.accessType;
        if (accessType == 1) {
            set(CURLOPT_PROXY, "");  // direct, whatever the environment says
        } else if (accessType == 2) {
            proxy = WideToUtf8(options.proxyName);
            set(CURLOPT_PROXY, proxy.c_str());
            set(CURLOPT_NOPROXY, "");
        }
        return result;
    }

    std::uint32_t RegisterStatusCallback() override { return CURLE_OK; }

    std::uint32_t Connect(const UrlParts&, const std::wstring& user,
                          const std::wstring& secret) override {
        if (!user.empty()) SetServerCredentials(user, secret);
        return CURLE_OK;
    }

    std::uint32_t OpenRequest(const UrlParts& url) override {
        address = UrlText(url);
        CURLcode result = curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
        if (accessType == 0 && result == CURLE_OK) {
            // The system's settings here are the environment's. Chosen here rather than left
            // to libcurl, which leaves HTTP_PROXY out.
            environmentProxy = ProxyFromEnvironment(
                url.Secure(), [](const char* name) { return std::getenv(name); });
            result = curl_easy_setopt(easy, CURLOPT_PROXY, environmentProxy.proxy.c_str());
            if (result == CURLE_OK) {
                result = curl_easy_setopt(easy, CURLOPT_NOPROXY, environmentProxy.noProxy.c_str());
            }
        }
        // An https address may only be redirected to https.
        if (result == CURLE_OK) {
            result = curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                                      url.Secure() ? "https" : "http,https");
        }
        return result;
    }

    std::uint32_t Send(std::string_view headers) override {
        Detach();
        ResetAnswer();
        curl_slist_free_all(requestHeaders);
        requestHeaders = nullptr;
        // The same cache-busting the Windows library adds for a reload.
        AddHeader("Pragma: no-cache");
        AddHeader("Cache-Control: no-cache");
        while (!headers.empty()) {
            const std::size_t end = headers.find("\r\n");
            const std::string_view line = headers.substr(0, end);
            if (!line.empty()) AddHeader(std::string(line));
            if (end == std::string_view::npos) break;
            headers.remove_prefix(end + 2);
        }
        if (const CURLcode result = curl_easy_setopt(easy, CURLOPT_HTTPHEADER, requestHeaders)) {
            return result;
        }
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
        attached = true;
        Drive([this] { return bodyStarted; });
        if (Cancelled()) return CURLE_ABORTED_BY_CALLBACK;
        // A redirect that was not followed (too many, or from https to http) is the
        // request's failure, not an answer.
        const long status = AnswerStatus();
        if (done && doneResult != CURLE_OK && (status == 0 || (status >= 300 && status < 400))) {
            return doneResult;
        }
        return CURLE_OK;
    }

    std::uint32_t QueryStatus(std::uint32_t& status) override {
        const long code = AnswerStatus();
        if (code <= 0) return CURLE_WEIRD_SERVER_REPLY;
        status = static_cast<std::uint32_t>(code);
        return CURLE_OK;
    }

    std::optional<std::uint64_t> QueryContentLength() override {
        // libcurl cannot tell a missing length from a bad one; read the header itself.
        const std::optional<std::string> value = QueryHeader("Content-Length");
        if (!value) return std::nullopt;
        return ParseDecimalCount(*value);
    }

    std::optional<std::string> QueryHeader(std::string_view name) override {
        for (const std::string& line : answerHeaders) {
            const std::optional<HeaderField> field = ParseHeaderLine(line);
            if (field && HeaderNameIs(field->name, name)) return field->value;
        }
        return std::nullopt;
    }

    std::uint32_t Read(std::size_t limit, std::span<const std::uint8_t>& piece) override {
        piece = {};
        if (pendingStart == pending.size()) {
            // The caller is done with the previous piece: the buffer can be refilled.
            pending.clear();
            pendingStart = 0;
            if (paused) {
                paused = false;
                curl_easy_pause(easy, CURLPAUSE_CONT);  // may deliver the held data at once
            }
            Drive([this] { return !pending.empty(); });
        }
        if (pendingStart < pending.size()) {
            const std::size_t size = std::min(limit, pending.size() - pendingStart);
            piece = std::span<const std::uint8_t>(pending).subspan(pendingStart, size);
            pendingStart += size;
            return CURLE_OK;
        }
        if (Cancelled()) return CURLE_OK;
        return done ? doneResult : CURLE_OK;
    }

    void SetServerCredentials(const std::wstring& user, const std::wstring& secret) override {
        serverUser = WideToUtf8(user);
        serverPassword = WideToUtf8(secret);
        curl_easy_setopt(easy, CURLOPT_USERNAME, serverUser.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, serverPassword.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }

    void SetProxyCredentials(const std::wstring& user, const std::wstring& secret) override {
        proxyUser = WideToUtf8(user);
        proxyPassword = WideToUtf8(secret);
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    }

    // There is no dialog to show here: the refused answer stands.
    CredentialAnswer PromptCredentials() override { return CredentialAnswer::kGoOn; }

    std::size_t PieceBytes() const noexcept override { return kPieceBytes; }
    std::uint32_t ShortBodyError() const noexcept override { return CURLE_PARTIAL_FILE; }
    std::uint32_t TimeoutError() const noexcept override { return CURLE_OPERATION_TIMEDOUT; }
    std::uint32_t TooLargeError() const noexcept override { return CURLE_FILESIZE_EXCEEDED; }

    void Close() noexcept override {
        Detach();
        if (easy != nullptr) curl_easy_cleanup(std::exchange(easy, nullptr));
        if (multi != nullptr) curl_multi_cleanup(std::exchange(multi, nullptr));
        curl_slist_free_all(std::exchange(requestHeaders, nullptr));
    }

private:
    // The one copy each body byte takes on its way from libcurl's buffer to the file.
    static size_t OnBody(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlSession*>(context);
        const std::size_t bytes = size * count;
        self->bodyStarted = true;
        self->lastArrival = Clock::now();
        if (!self->pending.empty() && self->pending.size() + bytes > kPendingBytes) {
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        const auto* first = reinterpret_cast<const std::uint8_t*>(data);
        self->pending.insert(self->pending.end(), first, first + bytes);
        return bytes;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CurlSession*>(context);
        const std::size_t bytes = size * count;
        self->lastArrival = Clock::now();
        std::string_view line(data, bytes);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        // Each answer (a redirect, a challenge, the final one) starts with its status line;
        // only the last answer's headers count.
        if (line.substr(0, 5) == "HTTP/") {
            self->answerHeaders.clear();
        } else if (!line.empty()) {
            self->answerHeaders.emplace_back(line);
        }
        return bytes;
    }

    static int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<CurlSession*>(context)->Cancelled() ? 1 : 0;
    }

    // The server's status, or the proxy's when it refused to open a tunnel to an https
    // server: a 407 there must reach the downloader as a 407, to be answered with the proxy
    // credentials. 0 when neither answered.
    [[nodiscard]] long AnswerStatus() const {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        if (code > 0) return code;
        long tunnel = 0;
        curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &tunnel);
        return tunnel >= 300 ? tunnel : 0;
    }

    [[nodiscard]] bool Cancelled() const noexcept {
        return abortRequested != nullptr && abortRequested->load(std::memory_order_relaxed) != 0;
    }

    // Runs the transfer until `enough` holds, it ends, a cancel is pending, or a bound passes.
    // The stall is counted from this call's start at the earliest: time spent between calls
    // is the downloader's, not the server's.
    template <typename Condition>
    void Drive(Condition enough) {
        lastArrival = std::max(lastArrival, Clock::now());
        while (attached && !done) {
            int runningHandles = 0;
            if (curl_multi_perform(multi, &runningHandles) != CURLM_OK) {
                Finish(CURLE_FAILED_INIT);
                break;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE) Finish(message->data.result);
            }
            if (enough() || done || Cancelled()) break;
            const Clock::time_point now = Clock::now();
            if (now >= deadline || now - lastArrival >= stallLimit) {
                Finish(CURLE_OPERATION_TIMEDOUT);
                break;
            }
            curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
        }
    }

    void Finish(CURLcode result) {
        done = true;
        doneResult = result;
    }

    void Detach() noexcept {
        if (attached) curl_multi_remove_handle(multi, easy);
        attached = false;
    }

    void ResetAnswer() {
        pending.clear();
        pendingStart = 0;
        paused = false;
        answerHeaders.clear();
        bodyStarted = false;
        done = false;
        doneResult = CURLE_OK;
    }

    void AddHeader(const std::string& line) {
        if (curl_slist* grown = curl_slist_append(requestHeaders, line.c_str())) {
            requestHeaders = grown;
        }
    }

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* requestHeaders = nullptr;
    bool attached = false;
    const std::atomic<std::int32_t>* abortRequested = nullptr;
    Clock::time_point deadline = Clock::time_point::max();
    std::chrono::milliseconds stallLimit{60000};
    Clock::time_point lastArrival{};  // of the last header or body bytes
    int accessType = 0;
    std::string agent;
    std::string caFile;
    std::string proxy;
    EnvironmentProxy environmentProxy;
    std::string address;
    std::string serverUser;
    std::string serverPassword;
    std::string proxyUser;
    std::string proxyPassword;

    std::vector<std::uint8_t> pending;  // body bytes received and not yet read
    std::size_t pendingStart = 0;
    bool paused = false;
    std::vector<std::string> answerHeaders;
    bool bodyStarted = false;
    bool done = false;
    CURLcode doneResult = CURLE_OK;
};

}  // namespace

std::unique_ptr<HttpSession> MakeHttpSession() {
    return std::make_unique<CurlSession>();
}

}  // namespace kivrel
