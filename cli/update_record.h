#pragma once
// The command line's memory of its last update, for a support report: a small JSON record
// (when, which file, the unit, the plan, how it ended) and the last lines of its trace, kept
// in the per-user folder whether or not --trace was given. Nothing personal goes in beyond
// what the unit holds: file names without their folders, no user or host names, no
// environment.

#include <cstddef>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "device/trace_transport.h"

namespace kivrel {
class CGpsUnit;
struct UpdateRunOutcome;
}  // namespace kivrel

namespace kivrel::cli {

inline constexpr std::wstring_view kLastUpdateName = L"kivrel-last-update.json";
inline constexpr std::wstring_view kLastTraceName = L"kivrel-last-trace.txt";
// About 270 KB of trace: the end of an update, where it went wrong, and the reading after.
inline constexpr std::size_t kKeptTraceLines = 2000;

// The last `maxLines` lines handed to it.
class TraceRing final : public TraceSink {
public:
    explicit TraceRing(std::size_t maxLines) : maxLines(maxLines) {}
    void Line(std::string_view line) override;
    [[nodiscard]] const std::deque<std::string>& Lines() const noexcept { return lines; }
    // Replaces the file at `path` with the kept lines; false when it cannot be written.
    [[nodiscard]] bool Save(const std::wstring& path) const;

private:
    std::size_t maxLines;
    std::deque<std::string> lines;
};

// The per-user folder the record is kept in (ending in a separator); empty when there is
// none, and nothing is then kept.
[[nodiscard]] std::wstring RecordFolder();

// `text` with the per-user folder and the home folder replaced by placeholders, for texts
// that name a path (a folder that could not be made).
[[nodiscard]] std::string WithoutPersonalFolders(std::string text);

// One update's record. Written once when the unit is opened, as "started" (so an update that
// never ended shows so), and again, with the kept trace, when it ends (at the latest when the
// record is destroyed).
class UpdateRecord {
public:
    UpdateRecord();
    ~UpdateRecord();
    UpdateRecord(const UpdateRecord&) = delete;
    UpdateRecord& operator=(const UpdateRecord&) = delete;

    [[nodiscard]] TraceRing& Trace() noexcept { return trace; }
    // Fields known before the run: "source", "archive", "provinces" and the like.
    void Set(const std::string& key, nlohmann::ordered_json value);
    // The unit as read before the update; written at once as "started".
    void Started(const CGpsUnit& unit);
    // How the run ended: the file it loaded, its plan, its outcome and texts.
    void Finished(const UpdateRunOutcome& outcome, const std::string& cause);
    // An update that ended before its run: "failed" (the file refused, the unit not read) or
    // "not updated" (the user said no).
    void Ended(const std::string& outcome, const std::string& error, const std::string& cause);

private:
    void Save();

    std::wstring folder;
    TraceRing trace{kKeptTraceLines};
    nlohmann::ordered_json record;
    bool ended = false;
};

}  // namespace kivrel::cli
