#include "cli/update_record.h"

#include <chrono>
#include <cstdlib>

#include "base/local_file.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_text.h"
#include "cli/plan_text.h"
#include "cli/unit_json.h"
#include "kivrel_version.h"
#include "procedures/update_run.h"

namespace kivrel::cli {
namespace {

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// Written whole or not at all (a side file, then a rename): a record cut short by a full disk
// would mislead support.
bool Keep(const std::wstring& path, std::string_view contents) {
    return WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(contents.data()),
                                          contents.size())) == 0;
}

}  // namespace

void TraceRing::Line(std::string_view line) {
    if (maxLines == 0) return;
    if (lines.size() == maxLines) lines.pop_front();
    lines.emplace_back(line);
}

bool TraceRing::Save(const std::wstring& path) const {
    std::string contents;
    for (const std::string& line : lines) (contents += line) += '\n';
    return Keep(path, contents);
}

std::wstring RecordFolder() {
    return TempFolder();
}

std::string WithoutPersonalFolders(std::string text) {
    ReplaceAll(text, WideToUtf8(RecordFolder()), "<kivrel folder>/");
    // Read only to be left out: Windows names the profile USERPROFILE, and shells there may
    // set HOME too.
    for (const char* name : {"HOME", "USERPROFILE"}) {
        const char* home = std::getenv(name);
        if (home != nullptr && std::string_view(home).size() > 1) ReplaceAll(text, home, "~");
    }
    return text;
}

UpdateRecord::UpdateRecord() : folder(RecordFolder()) {
    record["time"] = UtcTimeText(std::chrono::system_clock::now());
    record["tool_version"] = KIVREL_VERSION;
    record["outcome"] = "started";
}

UpdateRecord::~UpdateRecord() {
    if (!ended) {
        record["outcome"] = "ended without an outcome";
        Save();
    }
}

void UpdateRecord::Set(const std::string& key, nlohmann::ordered_json value) {
    record[key] = std::move(value);
}

void UpdateRecord::Started(const CGpsUnit& unit) {
    record["unit"] = UnitInfoJson(unit);
    Save();
}

void UpdateRecord::Finished(const UpdateRunOutcome& outcome, const std::string& cause) {
    if (outcome.file) {
        record["file"] = {{"name", WideToUtf8(outcome.file->name)},
                          {"size", outcome.file->size},
                          {"byte_sum_hex", Hex32(outcome.file->byteSum)}};
    }
    if (outcome.plan) record["plan"] = PlanJson(*outcome.plan);
    record["outcome"] = outcome.succeeded   ? "succeeded"
                        : outcome.cancelled ? "cancelled"
                                            : "failed";
    if (!outcome.errorText.empty()) {
        record["error"] = WithoutPersonalFolders(WideToUtf8(outcome.errorText));
    }
    if (!cause.empty()) record["cause"] = WithoutPersonalFolders(cause);
    if (outcome.unitSilentAtEnd) record["unit_silent_at_end"] = true;
    ended = true;
    Save();
}

void UpdateRecord::Ended(const std::string& outcome, const std::string& error,
                         const std::string& cause) {
    record["outcome"] = outcome;
    record["error"] = WithoutPersonalFolders(error);
    if (!cause.empty()) record["cause"] = WithoutPersonalFolders(cause);
    ended = true;
    Save();
}

void UpdateRecord::Save() {
    if (folder.empty()) return;
    // A record that cannot be kept costs the user nothing now; the report says none was kept.
    (void)Keep(folder + std::wstring(kLastUpdateName), JsonText(record) + "\n");
    (void)trace.Save(folder + std::wstring(kLastTraceName));
}

}  // namespace kivrel::cli
