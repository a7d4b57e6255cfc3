#include "device/sim/sim_directory.h"

#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

namespace kivrel {
namespace {

constexpr const char* kUnitFile = "unit.json";

// Reads a whole number in [low, high] from `key`; absent keys keep `out`.
template <typename T>
std::string ReadNumber(const nlohmann::json& object, const char* key, std::int64_t low,
                       std::int64_t high, T& out) {
    const auto it = object.find(key);
    if (it == object.end()) return {};
    if (!it->is_number_integer()) return std::string("\"") + key + "\" must be a whole number";
    const bool isUnsigned = it->is_number_unsigned();
    const std::uint64_t asUnsigned = isUnsigned ? it->get<std::uint64_t>() : 0;
    const std::int64_t asSigned = isUnsigned ? 0 : it->get<std::int64_t>();
    if (isUnsigned ? asUnsigned > static_cast<std::uint64_t>(high)
                   : (asSigned < low || asSigned > high)) {
        return std::string("\"") + key + "\" is out of range";
    }
    out = static_cast<T>(isUnsigned ? static_cast<std::int64_t>(asUnsigned) : asSigned);
    return {};
}

}  // namespace

std::string CheckSimCapacity(std::uint64_t capacity) {
    if (capacity < 4096 || capacity > kSimMaxCapacity || capacity % 4096 != 0) {
        return "capacity must be a multiple of 4096 from 4096 to " +
               std::to_string(kSimMaxCapacity);
    }
    return {};
}

std::string ParseSimUnitJson(std::string_view text, SimUnitFile& unit) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return "not a JSON object";
    constexpr std::int64_t kU32 = std::numeric_limits<std::uint32_t>::max();
    constexpr std::int64_t kI64 = std::numeric_limits<std::int64_t>::max();
    SimUnitFile read;
    std::int64_t capacity = 0;
    if (!json.contains("boot_version") || !json.contains("capacity")) {
        return "needs \"boot_version\" and \"capacity\"";
    }
    for (const std::string& error : {
             ReadNumber(json, "boot_version", std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max(), read.bootVersion),
             ReadNumber(json, "capacity", 0, kU32, capacity),
             ReadNumber(json, "refuse_block", -1, kU32, read.faults.refuseBlock),
             ReadNumber(json, "drop_report", 0, kI64, read.faults.dropReport),
             ReadNumber(json, "corrupt_report", 0, kI64, read.faults.corruptReport),
             ReadNumber(json, "stop_after_reports", 0, kI64, read.faults.stopAfterReports),
             ReadNumber(json, "disconnect_after_reports", 0, kI64,
                        read.faults.disconnectAfterReports),
             ReadNumber(json, "erase_ms_per_sector", 0, 60000, read.faults.eraseMsPerSector),
             ReadNumber(json, "late_report", 0, kI64, read.faults.lateReport),
             ReadNumber(json, "late_ms", 0, 600000, read.faults.lateMs),
             ReadNumber(json, "frame_us", 0, 1000000, read.frameUs),
             ReadNumber(json, "answer_latency_us", 0, 10000000, read.timing.answerLatencyUs),
             ReadNumber(json, "first_answer_ms", 0, 600000, read.timing.firstAnswerMs),
             ReadNumber(json, "slow_answers", 0, kU32, read.timing.slowAnswers),
         }) {
        if (!error.empty()) return error;
    }
    if (const auto async = json.find("async"); async != json.end()) {
        if (!async->is_boolean()) return "\"async\" must be true or false";
        read.timing.async = async->get<bool>();
    }
    // A latency means answering from the unit's own thread.
    if (read.timing.answerLatencyUs != 0 || read.timing.firstAnswerMs != 0) {
        read.timing.async = true;
    }
    if (std::string error = CheckSimCapacity(static_cast<std::uint64_t>(capacity));
        !error.empty()) {
        return error;
    }
    read.capacity = static_cast<std::uint32_t>(capacity);
    unit = read;
    return {};
}

std::string CreateSimDirectory(const std::filesystem::path& directory, std::int32_t bootVersion,
                               std::uint32_t capacity) {
    if (std::string error = CheckSimCapacity(capacity); !error.empty()) return error;
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) return "cannot create " + directory.string() + ": " + ec.message();
    if (std::filesystem::exists(directory / kUnitFile)) {
        return directory.string() + " already holds a simulated unit";
    }
    const std::vector<char> erased(1u << 16, static_cast<char>(0xFF));
    for (std::uint8_t bank = 0; bank < 2; ++bank) {
        std::ofstream file(BankFilePath(directory, bank), std::ios::binary | std::ios::trunc);
        for (std::uint32_t done = 0; file && done < capacity; done += erased.size()) {
            file.write(erased.data(), static_cast<std::streamsize>(
                                          std::min<std::uint32_t>(capacity - done, erased.size())));
        }
        if (!file.flush()) return "cannot write " + BankFilePath(directory, bank).string();
    }
    // unit.json last: a directory without it is not yet a unit.
    const nlohmann::json json = {{"boot_version", bootVersion}, {"capacity", capacity}};
    std::ofstream unitFile(directory / kUnitFile, std::ios::trunc);
    unitFile << json.dump(2) << '\n';
    if (!unitFile.flush()) return "cannot write " + (directory / kUnitFile).string();
    return {};
}

std::unique_ptr<SimulatedUnit> OpenSimDirectory(const std::filesystem::path& directory,
                                                std::string& error) {
    const std::filesystem::path unitPath = directory / kUnitFile;
    std::ifstream in(unitPath, std::ios::binary);
    if (!in) {
        error = "no simulated unit in " + directory.string() + " (" + unitPath.string() +
                " cannot be read)";
        return nullptr;
    }
    // A few keys; anything large is not a unit file, and is not read into memory.
    constexpr std::uintmax_t kLargestUnitFile = 1u << 16;
    std::error_code ec;
    if (std::filesystem::file_size(unitPath, ec) > kLargestUnitFile || ec) {
        error = unitPath.string() + ": not a unit file (too large or unreadable)";
        return nullptr;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SimUnitFile unit;
    error = ParseSimUnitJson(text, unit);
    if (!error.empty()) {
        error = unitPath.string() + ": " + error;
        return nullptr;
    }
    auto banks = std::make_unique<FileBankStore>(directory, unit.capacity, error);
    if (!banks->Valid()) return nullptr;
    return std::make_unique<SimulatedUnit>(
        SimSettings{unit.bootVersion, unit.faults, unit.frameUs, unit.timing}, std::move(banks));
}

}  // namespace kivrel
