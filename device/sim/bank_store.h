#pragma once
// The simulated unit's two address spaces: in memory for tests and benchmarks, or the files
// bank0.bin and bank1.bin of a sim directory, written through at once so the files always hold
// what the unit has taken.

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace kivrel {

class BankStore {
public:
    virtual ~BankStore() = default;
    [[nodiscard]] virtual std::uint32_t Capacity() const noexcept = 0;
    // Each call checks bank (0 or 1) and range; false on a bad range or an I/O error.
    [[nodiscard]] virtual bool Read(std::uint8_t bank, std::uint32_t offset,
                                    std::span<std::uint8_t> out) = 0;
    [[nodiscard]] virtual bool Write(std::uint8_t bank, std::uint32_t offset,
                                     std::span<const std::uint8_t> bytes) = 0;
    [[nodiscard]] virtual bool Fill(std::uint8_t bank, std::uint32_t offset, std::uint32_t length,
                                    std::uint8_t value) = 0;

protected:
    [[nodiscard]] bool InRange(std::uint8_t bank, std::uint64_t offset,
                               std::uint64_t length) const noexcept {
        return bank <= 1 && offset <= Capacity() && length <= Capacity() - offset;
    }
};

class MemoryBankStore final : public BankStore {
public:
    // Both banks erased (0xFF).
    explicit MemoryBankStore(std::uint32_t capacity);
    [[nodiscard]] std::uint32_t Capacity() const noexcept override { return capacity; }
    [[nodiscard]] bool Read(std::uint8_t bank, std::uint32_t offset,
                            std::span<std::uint8_t> out) override;
    [[nodiscard]] bool Write(std::uint8_t bank, std::uint32_t offset,
                             std::span<const std::uint8_t> bytes) override;
    [[nodiscard]] bool Fill(std::uint8_t bank, std::uint32_t offset, std::uint32_t length,
                            std::uint8_t value) override;
    [[nodiscard]] std::vector<std::uint8_t>& Bank(std::uint8_t bank) { return banks[bank & 1]; }

private:
    std::uint32_t capacity;
    std::array<std::vector<std::uint8_t>, 2> banks;
};

class FileBankStore final : public BankStore {
public:
    // Opens DIR/bank0.bin and DIR/bank1.bin, each exactly `capacity` bytes. Valid() tells
    // whether both opened; `error` says why not.
    FileBankStore(const std::filesystem::path& directory, std::uint32_t capacity,
                  std::string& error);
    [[nodiscard]] bool Valid() const noexcept { return files[0].is_open() && files[1].is_open(); }
    [[nodiscard]] std::uint32_t Capacity() const noexcept override { return capacity; }
    [[nodiscard]] bool Read(std::uint8_t bank, std::uint32_t offset,
                            std::span<std::uint8_t> out) override;
    [[nodiscard]] bool Write(std::uint8_t bank, std::uint32_t offset,
                             std::span<const std::uint8_t> bytes) override;
    [[nodiscard]] bool Fill(std::uint8_t bank, std::uint32_t offset, std::uint32_t length,
                            std::uint8_t value) override;

private:
    std::uint32_t capacity;
    std::array<std::fstream, 2> files;
};

[[nodiscard]] std::filesystem::path BankFilePath(const std::filesystem::path& directory,
                                                 std::uint8_t bank);

}  // namespace kivrel
