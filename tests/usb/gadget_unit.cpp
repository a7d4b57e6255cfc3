// Serves the simulated unit of a sim directory on a Linux USB HID gadget, so that the tool meets
// it through a real kernel HID stack (in the throw-away VM of scripts/usb-vm, over dummy_hcd):
// USB 0416:B500, one vendor-defined interface, 64-byte input and output reports, no report ids.
// The unit answers as the in-process one does, fault injection included; unplugging is
// unbinding the gadget from its UDC. The banks stay in the directory's files.
//
//   usb_gadget_unit DIR --gadget NAME [--no-out-endpoint] [--replug-after-ms N] [--log FILE]
//
// SIGUSR1 plugs an unplugged unit in again; SIGTERM or SIGINT unbinds, removes the gadget and
// ends. On its way out it writes what the unit saw to the log (or stderr): the commands, the
// commands that came while answers to earlier ones were on their way, and every violation.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "device/sim/bank_store.h"
#include "device/sim/sim_directory.h"
#include "device/sim/simulated_unit.h"
#include "device/unit_ids.h"

namespace fs = std::filesystem;

namespace kivrel {
namespace {

// Vendor page 0xFF00; 64 bytes in, 64 bytes out, no report id.
constexpr unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x81, 0x02,        //   input (data, variable, absolute)
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

std::atomic<bool> stopRequested{false};
std::atomic<bool> replugRequested{false};

void OnStop(int) {
    stopRequested = true;
}
void OnReplug(int) {
    replugRequested = true;
}

bool WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

class Gadget {
public:
    Gadget(std::string name, bool noOutEndpoint)
        : root(fs::path("/sys/kernel/config/usb_gadget") / std::move(name)),
          noOutEndpoint(noOutEndpoint) {}
    ~Gadget() { Remove(); }
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;

    // Makes the gadget through configfs; an error text, empty on success.
    std::string Make() {
        std::error_code ec;
        if (!fs::exists("/sys/kernel/config/usb_gadget")) {
            return "no configfs gadget folder (mount configfs, load libcomposite)";
        }
        if (fs::exists(root)) return root.string() + " exists already";
        const fs::path strings = root / "strings/0x409";
        const fs::path config = root / "configs/c.1";
        const fs::path function = root / "functions/hid.usb0";
        fs::create_directory(root, ec);
        if (ec) return "cannot make " + root.string() + ": " + ec.message();
        made = true;
        bool ok = WriteText(root / "idVendor", Hex4(kUnitVendorId)) &&
                  WriteText(root / "idProduct", Hex4(kUnitProductId)) &&
                  WriteText(root / "bcdDevice", "0x0100") && WriteText(root / "bcdUSB", "0x0200");
        fs::create_directories(strings, ec);
        ok = ok && !ec && WriteText(strings / "manufacturer", "Kivrel test") &&
             WriteText(strings / "product", "Simulated speed-camera unit") &&
             WriteText(strings / "serialnumber", "SIM0001");
        fs::create_directories(config / "strings/0x409", ec);
        ok = ok && !ec && WriteText(config / "MaxPower", "100") &&
             WriteText(config / "strings/0x409/configuration", "unit");
        fs::create_directories(function, ec);
        ok = ok && !ec && WriteText(function / "protocol", "0") &&
             WriteText(function / "subclass", "0") && WriteText(function / "report_length", "64") &&
             WriteText(function / "report_desc",
                       std::string(std::begin(kReportDescriptor), std::end(kReportDescriptor)));
        if (noOutEndpoint) {
            if (!fs::exists(function / "no_out_endpoint")) {
                return "this kernel's usb_f_hid has no no_out_endpoint";
            }
            ok = ok && WriteText(function / "no_out_endpoint", "1");
        }
        if (!ok) return "cannot set up the gadget's attributes";
        fs::create_directory_symlink(function, config / "hid.usb0", ec);
        if (ec) return "cannot put the function into the configuration: " + ec.message();
        for (const auto& entry : fs::directory_iterator("/sys/class/udc", ec)) {
            udc = entry.path().filename().string();
            break;
        }
        if (udc.empty()) return "no UDC (load dummy_hcd)";
        if (!Plug()) return "cannot bind the gadget to " + udc;
        // The function's character device, as the kernel named it when the gadget was bound.
        const std::string dev = ReadText(function / "dev");
        for (const auto& entry : fs::directory_iterator("/sys/class/hidg", ec)) {
            if (ReadText(entry.path() / "dev") == dev) {
                node = fs::path("/dev") / entry.path().filename();
            }
        }
        return node.empty() ? "no hidg node for " + dev : std::string();
    }

    bool Plug() { return WriteText(root / "UDC", udc); }
    bool Unplug() { return WriteText(root / "UDC", "\n"); }
    [[nodiscard]] const fs::path& Node() const noexcept { return node; }

private:
    void Remove() {
        if (!made) return;
        std::error_code ec;
        if (!ReadText(root / "UDC").empty()) (void)Unplug();
        fs::remove(root / "configs/c.1/hid.usb0", ec);
        fs::remove(root / "configs/c.1/strings/0x409", ec);
        fs::remove(root / "configs/c.1", ec);
        fs::remove(root / "functions/hid.usb0", ec);
        fs::remove(root / "strings/0x409", ec);
        fs::remove(root, ec);
        made = false;
    }

    fs::path root;
    bool noOutEndpoint;
    bool made = false;
    std::string udc;
    fs::path node;
};

std::unique_ptr<SimulatedUnit> OpenUnit(const fs::path& directory, std::string& error) {
    std::ifstream in(directory / "unit.json", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SimUnitFile file;
    if (error = ParseSimUnitJson(text, file); !error.empty()) return nullptr;
    auto banks = std::make_unique<FileBankStore>(directory, file.capacity, error);
    if (!banks->Valid()) return nullptr;
    // Two threads talk to the unit here, one each way: it must answer on its own thread.
    SimSettings settings{file.bootVersion, file.faults, 0, file.timing};
    settings.timing.async = true;
    return std::make_unique<SimulatedUnit>(settings, std::move(banks));
}

struct Options {
    fs::path directory;
    std::string gadget;
    bool noOutEndpoint = false;
    std::optional<int> replugAfterMs;
    fs::path log;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--gadget" && hasValue) {
            options.gadget = argv[++i];
        } else if (arg == "--no-out-endpoint") {
            options.noOutEndpoint = true;
        } else if (arg == "--replug-after-ms" && hasValue) {
            options.replugAfterMs = std::stoi(argv[++i]);
        } else if (arg == "--log" && hasValue) {
            options.log = argv[++i];
        } else if (options.directory.empty() && !arg.starts_with("--")) {
            options.directory = arg;
        } else {
            return false;
        }
    }
    return !options.directory.empty() && !options.gadget.empty();
}

// Reports from the tool, one per read of the gadget node, into the unit.
void HostToUnit(int fd, SimulatedUnit& unit, std::atomic<bool>& plugged,
                std::atomic<std::uint64_t>& shortReports) {
    while (!stopRequested) {
        if (!plugged) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) continue;
        unsigned char data[kReportDataBytes];
        const ssize_t n = ::read(fd, data, sizeof data);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // unbound meanwhile
            continue;
        }
        // No report ids on this interface: the payload is the whole report.
        Report report{};
        std::copy_n(data, n, report.begin() + 1);
        if (static_cast<std::size_t>(n) != kReportDataBytes) ++shortReports;
        (void)unit.WriteReport(report, 0);
    }
}

// Reports from the unit to the tool.
void UnitToHost(int fd, SimulatedUnit& unit, std::atomic<bool>& plugged) {
    while (!stopRequested) {
        if (!plugged) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        Report report{};
        std::size_t count = 0;
        if (!unit.ReadReport(report, count, 100)) continue;
        // The host takes the report at its next poll; until then the write waits.
        while (!stopRequested && plugged && ::write(fd, report.data() + 1, kReportDataBytes) < 0) {
            if (errno != EINTR && errno != EAGAIN) break;  // unbound: the report is lost
        }
    }
}

int Serve(const Options& options) {
    std::string error;
    std::unique_ptr<SimulatedUnit> unit = OpenUnit(options.directory, error);
    if (!unit) {
        std::cerr << "usb_gadget_unit: " << options.directory.string() << ": " << error << '\n';
        return 1;
    }
    Gadget gadget(options.gadget, options.noOutEndpoint);
    if (error = gadget.Make(); !error.empty()) {
        std::cerr << "usb_gadget_unit: " << error << '\n';
        return 1;
    }
    const int fd = ::open(gadget.Node().c_str(), O_RDWR);
    if (fd < 0) {
        std::cerr << "usb_gadget_unit: cannot open " << gadget.Node() << ": "
                  << std::strerror(errno) << '\n';
        return 1;
    }
    std::atomic<bool> plugged{true};
    std::atomic<std::uint64_t> shortReports{0};
    std::thread in(HostToUnit, fd, std::ref(*unit), std::ref(plugged), std::ref(shortReports));
    std::thread out(UnitToHost, fd, std::ref(*unit), std::ref(plugged));
    std::uint64_t unplugs = 0;
    std::chrono::steady_clock::time_point unpluggedAt{};
    while (!stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (plugged && unit->Disconnected()) {
            plugged = false;
            (void)gadget.Unplug();
            ++unplugs;
            unpluggedAt = std::chrono::steady_clock::now();
        }
        const bool due =
            options.replugAfterMs && std::chrono::steady_clock::now() - unpluggedAt >=
                                         std::chrono::milliseconds(*options.replugAfterMs);
        if (!plugged && (replugRequested.exchange(false) || due)) {
            unit->Replug();
            plugged = gadget.Plug();
        }
    }
    plugged = false;
    in.join();
    out.join();
    ::close(fd);
    unit->WaitIdle();

    std::ofstream logFile;
    if (!options.log.empty()) logFile.open(options.log, std::ios::trunc);
    std::ostream& log = options.log.empty() ? std::cerr : logFile;
    log << "commands " << unit->Commands().size() << '\n'
        << "out_of_step " << unit->CommandsOutOfStep() << '\n'
        << "short_reports " << shortReports << '\n'
        << "unplugs " << unplugs << '\n';
    for (const std::string& violation : unit->Violations())
        log << "violation " << violation << '\n';
    return 0;
}

}  // namespace
}  // namespace kivrel

int main(int argc, char** argv) {
    kivrel::Options options;
    if (!kivrel::ParseOptions(argc, argv, options)) {
        std::cerr << "usage: usb_gadget_unit DIR --gadget NAME [--no-out-endpoint]"
                     " [--replug-after-ms N] [--log FILE]\n";
        return 2;
    }
    std::signal(SIGTERM, kivrel::OnStop);
    std::signal(SIGINT, kivrel::OnStop);
    std::signal(SIGUSR1, kivrel::OnReplug);
    return kivrel::Serve(options);
}
