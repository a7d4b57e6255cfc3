#include "tests/device/device_test_support.h"

#include <numeric>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/scrambler.h"

namespace kivrel::test {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::vector<std::uint8_t> Dated(std::vector<std::uint8_t> plain, std::size_t wordIndex,
                                std::uint32_t seconds) {
    if (plain.size() >= (wordIndex + 1) * 4) PutU32(plain.data() + wordIndex * 4, seconds);
    return plain;
}

SectionBuffer MakeSection(const std::vector<std::uint8_t>& plain, bool plainSumRule) {
    SectionBuffer section;
    section.bytes = plain;
    ScrambleBuffer(section.bytes);
    const std::size_t padded = (plain.size() + 255) / 256 * 256;
    const std::size_t padding = padded - plain.size();
    section.bytes.resize(padded, 0xFF);
    if (plainSumRule) {
        section.recordedSize = static_cast<std::uint32_t>(plain.size());
        section.checksum = ByteSum(plain) + 255u * static_cast<std::uint32_t>(padding);
    } else {
        section.checksum = ByteSum(section.bytes);
    }
    return section;
}

ModelEntry MakeModelEntry(std::uint32_t modelId, const std::vector<std::uint8_t>& data,
                          std::uint32_t firstLayoutWord, std::uint32_t altMainFlag,
                          std::uint32_t secondLayoutWord) {
    ModelEntry entry;
    entry.modelId = modelId;
    entry.firstLayoutWord = firstLayoutWord;
    entry.altMainFlag = altMainFlag;
    entry.secondLayoutWord = secondLayoutWord;
    entry.blockHeader.fill(0xFF);
    PutU32(entry.blockHeader.data(), 0x12345678);
    PutU32(entry.blockHeader.data() + 4, static_cast<std::uint32_t>(data.size()));
    PutU32(entry.blockHeader.data() + 8, ByteSum(data));
    entry.data = MakeSection(data, true);
    entry.flashImage.assign(kModelFlashImageBytes, 0xFF);
    std::copy(entry.blockHeader.begin(), entry.blockHeader.end(), entry.flashImage.begin());
    std::copy(data.begin(), data.end(), entry.flashImage.begin() + 4096);
    return entry;
}

std::uint32_t ModelId(const char (&text)[5]) {
    return GetU32(reinterpret_cast<const std::uint8_t*>(text));
}

UpdatePackage MakePackage(std::size_t resource, std::size_t database, std::size_t main,
                          std::size_t auxiliary, std::size_t base) {
    UpdatePackage package;
    for (std::size_t i = 0; i < package.identity.size(); ++i) {
        package.identity[i] = static_cast<std::uint8_t>('A' + i % 26);
    }
    if (resource != 0) {
        package.resource = MakeSection(Dated(Pattern(resource, 1), 0, kResourceSeconds), true);
    }
    if (database != 0) {
        package.database = MakeSection(Dated(Pattern(database, 2), 0, kDatabaseSeconds), true);
    }
    if (main != 0) package.main = MakeSection(Dated(Pattern(main, 3), 1, kMainSeconds), false);
    if (auxiliary != 0) package.auxiliary = MakeSection(Pattern(auxiliary, 4), false);
    if (base != 0) package.base = MakeSection(Pattern(base, 5), true);
    return package;
}

SimUnit::SimUnit(std::int32_t bootVersion, std::uint32_t capacity) {
    auto store = std::make_unique<MemoryBankStore>(capacity);
    banks = store.get();
    sim = std::make_unique<SimulatedUnit>(SimSettings{bootVersion, {}}, std::move(store));
}

void SimUnit::Connect() {
    unit.link.Attach(std::make_unique<BorrowedTransport>(*sim), &sink);
    unit.link.SetTimeoutMs(50);
}

bool SimUnit::ConnectAndRead() {
    Connect();
    unit.ResetUnitInfo();
    const bool accepted = unit.ReadUnitInfo();
    (void)NewCommands();
    return accepted;
}

std::vector<std::uint8_t> SimUnit::Bytes(std::uint8_t bank, std::uint32_t address,
                                         std::size_t length) {
    auto& bytes = banks->Bank(bank);
    return {bytes.begin() + address, bytes.begin() + address + length};
}

void SimUnit::Put(std::uint8_t bank, std::uint32_t address,
                  const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), banks->Bank(bank).begin() + address);
}

std::vector<CommandFrame> SimUnit::NewCommands() {
    const auto& all = sim->Commands();
    std::vector<CommandFrame> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
    seen = all.size();
    return fresh;
}

}  // namespace kivrel::test
