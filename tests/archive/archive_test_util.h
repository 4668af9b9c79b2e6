// Helpers for the archive tests: scratch folders, whole-file reads and writes, hand-built archives.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace kestrune::testing {

inline std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

inline void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline std::vector<uint8_t> zlibPack(const std::vector<uint8_t>& raw) {
    uLongf n = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, raw.data(), uLong(raw.size()), 9);
    out.resize(n);
    return out;
}

// Builds an archive file by hand: the given blocks, then a directory of the given records.
struct RawArchive {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> records;
    void addEntry(const char* name, const std::vector<uint8_t>& raw) {
        auto packed = zlibPack(raw);
        addRecord(name, uint32_t(bytes.size()), uint32_t(raw.size()), uint32_t(packed.size()));
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    void addRecord(const char* name, uint32_t offset, uint32_t unpacked, uint32_t packed) {
        std::vector<uint8_t> record(48, 0);
        std::memcpy(record.data(), name, std::strlen(name));
        putLe32(record, 32, offset);
        putLe32(record, 36, offset + packed);
        putLe32(record, 40, unpacked);
        putLe32(record, 44, packed);
        records.insert(records.end(), record.begin(), record.end());
    }
    std::vector<uint8_t> finish(uint32_t count, uint32_t unpackedSize) const {
        auto out = bytes;
        auto directory = zlibPack(records);
        out.insert(out.end(), directory.begin(), directory.end());
        std::vector<uint8_t> trailer(15, 0);
        putLe32(trailer, 0, count);
        putLe32(trailer, 4, unpackedSize);
        putLe32(trailer, 8, uint32_t(directory.size()));
        std::memcpy(trailer.data() + 12, ":-)", 3);
        out.insert(out.end(), trailer.begin(), trailer.end());
        return out;
    }
    std::vector<uint8_t> finish() const {
        return finish(uint32_t(records.size() / 48), uint32_t(records.size()));
    }
};

// A fresh folder per test, removed afterwards.
class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (std::string("krv-") + info->test_suite_name() + "-" + info->name() + "-" +
               std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& leaf) const { return (dir / leaf).string(); }
    std::string makeSource(const std::string& leaf, const std::vector<uint8_t>& bytes) const {
        writeFile(dir / leaf, bytes);
        return path(leaf);
    }
    std::filesystem::path dir;
};

} // namespace kestrune::testing
