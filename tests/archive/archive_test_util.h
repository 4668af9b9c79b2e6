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

#include "binary/byte_writer.h"

namespace kestrune::test {

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
    ByteWriter records;
    void addEntry(const char* name, const std::vector<uint8_t>& raw) {
        auto packed = zlibPack(raw);
        addRecord(name, uint32_t(bytes.size()), uint32_t(raw.size()), uint32_t(packed.size()));
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    void addRecord(const char* name, uint32_t offset, uint32_t unpacked, uint32_t packed) {
        records.text(name, 32);
        records.u32le(offset);
        records.u32le(offset + packed);
        records.u32le(unpacked);
        records.u32le(packed);
    }
    std::vector<uint8_t> finish(uint32_t count, uint32_t unpackedSize) const {
        auto out = bytes;
        auto directory = zlibPack(records.bytes);
        out.insert(out.end(), directory.begin(), directory.end());
        ByteWriter trailer;
        trailer.u32le(count);
        trailer.u32le(unpackedSize);
        trailer.u32le(uint32_t(directory.size()));
        trailer.raw(":-)", 3);
        out.insert(out.end(), trailer.bytes.begin(), trailer.bytes.end());
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

} // namespace kestrune::test
