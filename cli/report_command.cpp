// `kivrel report [OUT]`: one text file to hand to support. It holds the tool's version, the
// operating system, the unit as `info --json` shows it, its settings block, and the record
// and trace of the last update; nothing of the user's own beyond what the unit holds.

#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <sstream>
#include <string>

#include "base/native_path.h"
#include "base/text.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/os_info.h"
#include "cli/unit_json.h"
#include "cli/update_record.h"
#include "device/gps_unit.h"
#include "kivrel_version.h"

namespace kivrel::cli {
namespace {

// A kept trace line is 132 characters; more than this per line is no trace of ours.
constexpr std::uint64_t kTraceBytesRead = kKeptTraceLines * 200;

void Section(std::ostream& out, const std::string& title) {
    out << "\n== " << title << " ==\n";
}

// 16 bytes a line, with the offset: how support reads a block.
void HexLines(std::ostream& out, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        char offset[8];
        std::snprintf(offset, sizeof offset, "%03zx:", at);
        out << offset;
        for (std::size_t i = at; i < at + 16 && i < bytes.size(); ++i) {
            out << ' ' << Hex(bytes.subspan(i, 1));
        }
        out << '\n';
    }
}

// The last `maxLines` lines of a file, reading no more than its last `maxBytes` bytes; `cut`
// tells whether earlier lines were left out. Empty when the file cannot be read.
std::deque<std::string> LastLines(const std::filesystem::path& path, std::size_t maxLines,
                                  std::uint64_t maxBytes, bool& cut) {
    std::deque<std::string> lines;
    cut = false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return lines;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
    const std::uint64_t start = size > maxBytes ? size - maxBytes : 0;
    in.seekg(static_cast<std::streamoff>(start));
    std::string line;
    if (start != 0) {
        std::getline(in, line);  // the rest of a line cut by the seek
        cut = true;
    }
    while (std::getline(in, line)) {
        if (lines.size() == maxLines) {
            lines.pop_front();
            cut = true;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

void UnitSections(std::ostream& out, const GlobalOptions& options) {
    Section(out, "Unit (kivrel info --json)");
    CGpsUnit unit;
    if (std::string error = OpenUnit(unit, LinkOptionsOf(options), nullptr); !error.empty()) {
        out << "No unit could be opened: " << WithoutPersonalFolders(error) << '\n';
        return;
    }
    // Looking only: a unit of another vendor is not sent AbandonUnit.
    const UnitReading reading = ReadUnit(unit, options.Vendor(), ReadingMode::kLookOnly);
    const bool refused = reading.result == ReadingResult::kRefused;
    const std::string error = refused ? std::string() : ReadingFailureText(reading);
    if (!error.empty() && !unit.Connected()) {
        out << "The unit could not be read: " << WithoutPersonalFolders(error) << '\n';
        return;
    }
    out << JsonText(UnitInfoJson(unit)) << '\n';
    if (refused) out << "Note: " << kTextUnitRefused << ".\n";
    if (!error.empty()) {
        out << "Note: " << WithoutPersonalFolders(error) << ".\n";
        return;
    }

    Section(out, "Settings block (256 bytes at 0x11000)");
    HexLines(out, unit.settingsBlock.bytes);
    Section(out, "Settings (kivrel settings show --json)");
    std::string whyNot;
    if (const auto settings = SettingsShowJson(unit, options.Vendor(), whyNot)) {
        out << JsonText(*settings) << '\n';
    } else {
        out << "Not shown: " << whyNot << '\n';
    }
}

void LastUpdateSections(std::ostream& out) {
    const std::wstring folder = RecordFolder();
    Section(out, "Last update (" + WideToUtf8(kLastUpdateName) + ")");
    std::ifstream record(NativePath(folder + std::wstring(kLastUpdateName)), std::ios::binary);
    if (folder.empty() || !record) {
        out << "No update has been recorded for this user.\n";
    } else {
        out << record.rdbuf();
    }

    bool cut = false;
    const std::deque<std::string> lines =
        folder.empty() ? std::deque<std::string>{}
                       : LastLines(NativePath(folder + std::wstring(kLastTraceName)),
                                   kKeptTraceLines, kTraceBytesRead, cut);
    Section(out, "Last trace (" + WideToUtf8(kLastTraceName) + ", " +
                     (cut ? "its last " + std::to_string(lines.size()) + " lines"
                          : std::to_string(lines.size()) + " lines") +
                     ")");
    for (const std::string& line : lines) out << line << '\n';
}

std::string ReportText(const GlobalOptions& options) {
    std::ostringstream out;
    out << "Kivrel support report\n"
        << "Created: " << UtcTimeText(std::chrono::system_clock::now()) << '\n';
    Section(out, "Tool");
    out << "kivrel " << KIVREL_VERSION << '\n';
    Section(out, "Operating system");
    out << OperatingSystemText() << '\n';
    UnitSections(out, options);
    LastUpdateSections(out);
    return out.str();
}

}  // namespace

int RunReport(const GlobalOptions& options, const std::string& outArgument) {
    const std::string text = ReportText(options);
    if (outArgument == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }
    const std::string name =
        outArgument.empty()
            ? "kivrel-report-" + LocalTimeStamp(std::chrono::system_clock::now()) + ".txt"
            : outArgument;
    std::ofstream out(ArgumentPath(name), std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        std::fprintf(stderr, "kivrel: cannot write the report to %s\n", name.c_str());
        return kExitFailure;
    }
    std::printf("Support report written to %s\n", name.c_str());
    return kExitOk;
}

}  // namespace kivrel::cli
