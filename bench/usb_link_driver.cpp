// The tool's end of bench/usb_link.sh: the same exchange as hidraw_loop (one 64-byte output
// report and its echo), COUNT times, through the transport the tool uses for `--device hid`
// (discovery, then hidapi's write and timed read). Prints "exchanges_per_second N".
// Usage: usb_link_driver COUNT

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/hid_transport.h"
#include "device/unit_discovery.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: usb_link_driver COUNT\n");
        return 2;
    }
    const long count = std::atol(argv[1]);
    std::string error;
    const std::unique_ptr<kivrel::HidTransport> link = kivrel::OpenFirstUnit(error);
    if (!link) {
        std::fprintf(stderr, "usb_link_driver: %s\n", error.c_str());
        return 1;
    }
    kivrel::Report out{};
    kivrel::Report in{};
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        for (std::size_t b = 1; b < out.size(); ++b) out[b] = static_cast<std::uint8_t>(i + b);
        std::size_t got = 0;
        if (!link->WriteReport(out, 1000) || !link->ReadReport(in, got, 1000) ||
            got != kivrel::kReportBytes || !std::equal(in.begin() + 1, in.end(), out.begin() + 1)) {
            std::fprintf(stderr, "exchange %ld: no echo\n", i);
            return 1;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("exchanges_per_second %.1f\n", static_cast<double>(count) / took.count());
    return 0;
}
