#pragma once
// The HTTP seam: one request/response exchange of CHttpDownload, step by step, as the
// platform's client library performs it (WinInet on Windows, libcurl elsewhere). Backends
// move bytes and translate results; every decision about them is CHttpDownload's.
//
// Error results are the library's own codes (GetLastError() values for WinInet, CURLcode
// values for libcurl), 0 meaning success. A session is used by one thread at a time.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "net/url_parts.h"

namespace kivrel {

struct SessionOptions {
    std::wstring agent;      // user-agent text, never empty
    int accessType = 0;      // 0 preconfigured (libcurl: the environment), 1 direct, 2 proxy
    std::wstring proxyName;  // for access type 2: "host:port"
    // PEM certificate authorities for https instead of the system's; empty: the system's.
    // WinInet has only the system's store and refuses the session otherwise.
    std::wstring caFile;
    void* promptOwner = nullptr;  // native window for the credential dialog, or null
    // Set to ask the transfer to stop. Backends that wait on the network poll it, so a
    // cancelled transfer ends within a fraction of a second.
    const std::atomic<std::int32_t>* abortRequested = nullptr;
    // The downloader's bounds: a wait ends with TimeoutError() once the deadline has passed
    // or the server has sent nothing for `stallLimit`.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds stallLimit{60000};
};

// Redirects followed at most, by either library; one more fails the request.
inline constexpr int kMaxRedirects = 10;

enum class CredentialAnswer { kSendAgain, kGoOn };

class HttpSession {
public:
    virtual ~HttpSession() = default;

    [[nodiscard]] virtual std::uint32_t Open(const SessionOptions& options) = 0;
    [[nodiscard]] virtual std::uint32_t RegisterStatusCallback() = 0;
    // Server credentials are used only when `userName` is not empty.
    [[nodiscard]] virtual std::uint32_t Connect(const UrlParts& url, const std::wstring& userName,
                                                const std::wstring& password) = 0;
    [[nodiscard]] virtual std::uint32_t OpenRequest(const UrlParts& url) = 0;
    // Sends the GET with `headers` (lines each ending in CR LF, or empty) and waits for the
    // answer's status, following redirects (at most kMaxRedirects, never from https to
    // http). May be called again on the same request to send it once more.
    [[nodiscard]] virtual std::uint32_t Send(std::string_view headers) = 0;
    [[nodiscard]] virtual std::uint32_t QueryStatus(std::uint32_t& status) = 0;
    // The answer's Content-Length, or nullopt when it gave none.
    [[nodiscard]] virtual std::optional<std::uint64_t> QueryContentLength() = 0;
    // The value of one header of the final answer (after redirects), or nullopt.
    [[nodiscard]] virtual std::optional<std::string> QueryHeader(std::string_view name) = 0;
    // The next part of the body, at most `limit` bytes, without waiting for more than has
    // arrived. The bytes belong to the session and stay valid until its next call. An empty
    // piece with result 0 means the body has ended (or a cancel is pending).
    [[nodiscard]] virtual std::uint32_t Read(std::size_t limit,
                                             std::span<const std::uint8_t>& piece) = 0;
    virtual void SetServerCredentials(const std::wstring& userName,
                                      const std::wstring& password) = 0;
    virtual void SetProxyCredentials(const std::wstring& userName,
                                     const std::wstring& password) = 0;
    // The platform's own authentication dialog, where there is one.
    [[nodiscard]] virtual CredentialAnswer PromptCredentials() = 0;
    // The body piece size the backend reads best with.
    [[nodiscard]] virtual std::size_t PieceBytes() const noexcept = 0;
    // The code reported when the body ends before its announced length.
    [[nodiscard]] virtual std::uint32_t ShortBodyError() const noexcept = 0;
    // The code reported when a bound of the options passed.
    [[nodiscard]] virtual std::uint32_t TimeoutError() const noexcept = 0;
    // The code reported when the answer is longer than the downloader takes.
    [[nodiscard]] virtual std::uint32_t TooLargeError() const noexcept = 0;
    // Closes the request, the connection and the session, in that order. Idempotent.
    virtual void Close() noexcept = 0;
};

// The platform's backend.
[[nodiscard]] std::unique_ptr<HttpSession> MakeHttpSession();

}  // namespace kivrel
