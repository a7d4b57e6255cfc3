#include "device/sim/bank_store.h"

#include <algorithm>
#include <system_error>

namespace kivrel {

MemoryBankStore::MemoryBankStore(std::uint32_t capacity)
    : capacity(capacity),
      banks{std::vector<std::uint8_t>(capacity, 0xFF), std::vector<std::uint8_t>(capacity, 0xFF)} {}

bool MemoryBankStore::Read(std::uint8_t bank, std::uint32_t offset, std::span<std::uint8_t> out) {
    if (!InRange(bank, offset, out.size())) return false;
    std::copy_n(banks[bank].begin() + offset, out.size(), out.begin());
    return true;
}

bool MemoryBankStore::Write(std::uint8_t bank, std::uint32_t offset,
                            std::span<const std::uint8_t> bytes) {
    if (!InRange(bank, offset, bytes.size())) return false;
    std::copy(bytes.begin(), bytes.end(), banks[bank].begin() + offset);
    return true;
}

bool MemoryBankStore::Fill(std::uint8_t bank, std::uint32_t offset, std::uint32_t length,
                           std::uint8_t value) {
    if (!InRange(bank, offset, length)) return false;
    std::fill_n(banks[bank].begin() + offset, length, value);
    return true;
}

std::filesystem::path BankFilePath(const std::filesystem::path& directory, std::uint8_t bank) {
    return directory / (bank == 0 ? "bank0.bin" : "bank1.bin");
}

FileBankStore::FileBankStore(const std::filesystem::path& directory, std::uint32_t capacity,
                             std::string& error)
    : capacity(capacity) {
    for (std::uint8_t bank = 0; bank < 2; ++bank) {
        const std::filesystem::path path = BankFilePath(directory, bank);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) {
            error = "cannot read " + path.string() + ": " + ec.message();
            files = {};
            return;
        }
        if (size != capacity) {
            error = path.string() + " holds " + std::to_string(size) + " bytes, not the unit's " +
                    "capacity of " + std::to_string(capacity);
            files = {};
            return;
        }
        files[bank].open(path, std::ios::in | std::ios::out | std::ios::binary);
        if (!files[bank].is_open()) {
            error = "cannot open " + path.string() + " for reading and writing";
            files = {};
            return;
        }
    }
}

bool FileBankStore::Read(std::uint8_t bank, std::uint32_t offset, std::span<std::uint8_t> out) {
    if (!Valid() || !InRange(bank, offset, out.size())) return false;
    std::fstream& file = files[bank];
    file.clear();
    file.seekg(offset);
    file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

bool FileBankStore::Write(std::uint8_t bank, std::uint32_t offset,
                          std::span<const std::uint8_t> bytes) {
    if (!Valid() || !InRange(bank, offset, bytes.size())) return false;
    std::fstream& file = files[bank];
    file.clear();
    file.seekp(offset);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.flush();  // on disk before the unit answers, so a crash cannot lose a confirmed write
    return static_cast<bool>(file);
}

bool FileBankStore::Fill(std::uint8_t bank, std::uint32_t offset, std::uint32_t length,
                         std::uint8_t value) {
    if (!Valid() || !InRange(bank, offset, length)) return false;
    const std::vector<std::uint8_t> chunk(std::min<std::uint32_t>(length, 1u << 16), value);
    for (std::uint32_t done = 0; done < length;) {
        const auto n =
            std::min<std::uint32_t>(length - done, static_cast<std::uint32_t>(chunk.size()));
        if (!Write(bank, offset + done, std::span(chunk).first(n))) return false;
        done += n;
    }
    return true;
}

}  // namespace kivrel
