#include "tests/support/http_test_server.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/ascii_text.h"

namespace kivrel::test {
namespace {

constexpr int kWaitSliceMs = 100;
constexpr std::size_t kHeaderLimit = 64 * 1024;
constexpr std::size_t kSendChunk = 1024 * 1024;

[[nodiscard]] std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

[[nodiscard]] std::string PathOf(std::string_view target) {
    if (const std::size_t scheme = target.find("://"); scheme != std::string_view::npos) {
        target.remove_prefix(scheme + 3);
        const std::size_t slash = target.find('/');
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    return std::string(target.substr(0, target.find('?')));
}

[[nodiscard]] const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

// The start of "bytes=N-" or "bytes=N-M", with M (inclusive) when given.
struct RequestedRange {
    std::size_t first = 0;
    std::optional<std::size_t> last;
};
[[nodiscard]] std::optional<RequestedRange> ParseRange(std::string_view value) {
    value = Trim(value);
    if (value.substr(0, 6) != "bytes=") return std::nullopt;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    if (dash == 0 || dash == std::string_view::npos) return std::nullopt;
    RequestedRange range;
    try {
        range.first = std::stoull(std::string(value.substr(0, dash)));
        if (dash + 1 < value.size()) range.last = std::stoull(std::string(value.substr(dash + 1)));
    } catch (...) {
        return std::nullopt;
    }
    return range;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoringAsciiCase(key, name)) return value;
    }
    return {};
}

std::string BasicCredentials(std::string_view user, std::string_view password) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string plain = std::string(user) + ":" + std::string(password);
    std::string out;
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(plain[i]) << 16;
        if (i + 1 < plain.size()) group |= static_cast<std::uint8_t>(plain[i + 1]) << 8;
        if (i + 2 < plain.size()) group |= static_cast<std::uint8_t>(plain[i + 2]);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += i + 1 < plain.size() ? kAlphabet[(group >> 6) & 63] : '=';
        out += i + 2 < plain.size() ? kAlphabet[group & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
    }
    return bytes;
}

HttpTestServer::HttpTestServer() {
    listener = TestSocket::ListenOnLoopback(port);
    if (listener.Valid()) acceptor = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::Stop() {
    stopping = true;
    if (acceptor.joinable()) acceptor.join();
    std::vector<std::thread> running;
    {
        const std::lock_guard lock(mutex);
        running.swap(connections);
    }
    for (std::thread& thread : running) thread.join();
    listener.Close();
}

std::string HttpTestServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(port);
}

std::string HttpTestServer::Url(std::string_view path) const {
    return "http://" + HostPort() + std::string(path);
}

std::wstring HttpTestServer::WideUrl(std::string_view path) const {
    const std::string url = Url(path);
    return std::wstring(url.begin(), url.end());
}

void HttpTestServer::Serve(const std::string& path, HttpRoute route) {
    const std::lock_guard lock(mutex);
    routes[path] = std::make_shared<const HttpRoute>(std::move(route));
}

void HttpTestServer::ServeBytes(const std::string& path, std::vector<std::uint8_t> bytes) {
    HttpRoute route;
    route.body = std::move(bytes);
    Serve(path, std::move(route));
}

void HttpTestServer::ServeText(const std::string& path, std::string_view text) {
    ServeBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

bool HttpTestServer::ServeFile(const std::string& path, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    ServeBytes(path, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                               std::istreambuf_iterator<char>()));
    return true;
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    const std::lock_guard lock(mutex);
    return requests;
}

std::size_t HttpTestServer::RequestCount(std::string_view path) const {
    const std::lock_guard lock(mutex);
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(),
                      [&](const RecordedRequest& r) { return r.path == path; }));
}

bool HttpTestServer::Pause(std::chrono::milliseconds delay) const {
    // In slices, so stopping the server never waits out a long pause.
    const auto end = std::chrono::steady_clock::now() + delay;
    while (!stopping && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
            end - std::chrono::steady_clock::now(), std::chrono::milliseconds(kWaitSliceMs)));
    }
    return !stopping;
}

std::shared_ptr<const HttpRoute> HttpTestServer::Find(const std::string& path) const {
    const std::lock_guard lock(mutex);
    const auto found = routes.find(path);
    return found == routes.end() ? nullptr : found->second;
}

void HttpTestServer::AcceptLoop() {
    while (!stopping) {
        TestSocket connection = listener.Accept(kWaitSliceMs);
        if (!connection.Valid()) continue;
        const std::lock_guard lock(mutex);
        connections.emplace_back([this, socket = std::move(connection)]() mutable {
            ServeConnection(std::move(socket));
        });
    }
}

void HttpTestServer::ServeConnection(TestSocket connection) {
    std::string buffer;
    char chunk[16 * 1024];
    while (!stopping) {
        const std::size_t headerEnd = buffer.find("\r\n\r\n");
        if (headerEnd == std::string::npos) {
            if (buffer.size() > kHeaderLimit) return;
            const int got = connection.Receive(chunk, sizeof chunk, kWaitSliceMs);
            if (got == TestSocket::kTimedOut) continue;
            if (got <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        RecordedRequest request;
        std::string_view head(buffer.data(), headerEnd);
        const std::size_t lineEnd = head.find("\r\n");
        const std::string_view requestLine = head.substr(0, lineEnd);
        const std::size_t space1 = requestLine.find(' ');
        const std::size_t space2 = requestLine.find(' ', space1 + 1);
        if (space1 == std::string_view::npos || space2 == std::string_view::npos) return;
        request.method = requestLine.substr(0, space1);
        request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
        request.path = PathOf(request.target);
        std::string_view rest =
            lineEnd == std::string_view::npos ? std::string_view{} : head.substr(lineEnd + 2);
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            const std::size_t colon = line.find(':');
            if (colon != std::string_view::npos) {
                request.headers.emplace_back(std::string(line.substr(0, colon)),
                                             std::string(Trim(line.substr(colon + 1))));
            }
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 2);
        }
        buffer.erase(0, headerEnd + 4);
        {
            const std::lock_guard lock(mutex);
            requests.push_back(request);
        }
        bool keepOpen = !EqualsIgnoringAsciiCase(request.Header("Connection"), "close");
        if (!Answer(connection, request, keepOpen) || !keepOpen) break;
    }
    connection.ShutdownBoth();
}

bool HttpTestServer::Answer(const TestSocket& connection, const RecordedRequest& request,
                            bool& keepOpen) {
    const std::shared_ptr<const HttpRoute> found = Find(request.path);
    HttpRoute notFound;
    notFound.status = 404;
    const std::string missing = "no such file\n";
    notFound.body.assign(missing.begin(), missing.end());
    const HttpRoute& route = found ? *found : notFound;

    int status = route.status;
    std::vector<std::pair<std::string, std::string>> headers = route.extraHeaders;
    const std::string proxyGiven = request.Header("Proxy-Authorization");
    const std::string serverGiven = request.Header("Authorization");
    const bool proxyRefused =
        !route.proxyUser.empty() &&
        proxyGiven != "Basic " + BasicCredentials(route.proxyUser, route.proxyPassword);
    const bool serverRefused =
        !route.user.empty() &&
        serverGiven != "Basic " + BasicCredentials(route.user, route.password);
    std::vector<std::uint8_t> refusal;
    const std::uint8_t* body = route.body.data();
    std::size_t bodySize = route.body.size();
    if (proxyRefused || serverRefused) {
        status = proxyRefused ? 407 : 401;
        const std::string text = "credentials required\n";
        refusal.assign(text.begin(), text.end());
        body = refusal.data();
        bodySize = refusal.size();
    }
    if (status == 401) headers.emplace_back("WWW-Authenticate", "Basic realm=\"kivrel\"");
    if (status == 407) headers.emplace_back("Proxy-Authenticate", "Basic realm=\"kivrel\"");
    if (!route.etag.empty()) headers.emplace_back("ETag", route.etag);
    if (!route.lastModified.empty()) headers.emplace_back("Last-Modified", route.lastModified);

    std::size_t first = 0;
    std::size_t count = bodySize;
    const std::string rangeText = request.Header("Range");
    const std::string ifRange = request.Header("If-Range");
    const bool sameFile = ifRange.empty() || ifRange == route.etag || ifRange == route.lastModified;
    if (status == 200 && route.honourRanges && !rangeText.empty() && sameFile) {
        if (const auto range = ParseRange(rangeText)) {
            if (range->first >= bodySize) {
                status = 416;
                headers.emplace_back("Content-Range", "bytes */" + std::to_string(bodySize));
                count = 0;
            } else {
                const std::size_t last = std::min(range->last.value_or(bodySize - 1), bodySize - 1);
                status = 206;
                first = range->first;
                count = last - first + 1;
                headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                          std::to_string(last) + "/" +
                                                          std::to_string(bodySize));
            }
        }
    }
    if (route.sendContentLength) {
        headers.emplace_back("Content-Length", std::to_string(count));
    } else {
        keepOpen = false;
    }
    if (!keepOpen) headers.emplace_back("Connection", "close");
    if (route.status == 200 && route.honourRanges) headers.emplace_back("Accept-Ranges", "bytes");

    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    head += "\r\n";
    if (!connection.SendAll(head.data(), head.size())) return false;
    if (request.method == "HEAD") return true;

    std::size_t limit = count;
    if (route.dropAfterBytes) limit = std::min(limit, *route.dropAfterBytes);
    const std::size_t piece = route.pieceBytes > 0 ? route.pieceBytes : kSendChunk;
    for (std::size_t sent = 0; sent < limit;) {
        if (sent > 0 && !Pause(route.pieceDelay)) return false;
        if (stopping) return false;
        const std::size_t size = std::min(piece, limit - sent);
        if (!connection.SendAll(body + first + sent, size)) return false;
        sent += size;
    }
    return limit == count;  // a dropped body ends the connection
}

}  // namespace kivrel::test
