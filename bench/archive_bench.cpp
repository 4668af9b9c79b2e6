// Extracting every entry of a 20 MB archive the way the show's readers do, against bare zlib.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archive/archive.h"
#include "bench/ratio_reporter.h"

namespace {

using namespace kestrune;

struct Fixture {
    std::string path;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> packed; // the same streams, for bare zlib
    std::vector<uint32_t> unpacked;
    size_t totalBytes = 0;
};

// Mixed content as a show has it: text, smooth images, noise, repeated geometry.
std::vector<uint8_t> makeEntry(int kind, size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 7;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        switch (kind) {
        case 0:
            bytes[i] = "ObjectMotion (unnamed)\n 9\n 1\n 0.0 1.5 -2.25 0 0 0 1 1 1\n"[i % 54];
            break;
        case 1:
            bytes[i] = uint8_t(128 + 100 * std::sin(i * 0.001) + (x >> 29));
            break;
        case 2:
            bytes[i] = uint8_t(x >> 24);
            break;
        default:
            bytes[i] = uint8_t((i / 12) % 251 ^ (i % 12));
            break;
        }
    }
    return bytes;
}

const Fixture& fixture() {
    static Fixture f = [] {
        Fixture made;
        made.path = (std::filesystem::temp_directory_path() /
                     ("krv-bench-" + std::to_string(::getpid()) + ".dat"))
                        .string();
        std::filesystem::remove(made.path);
        DataArchive archive(made.path.c_str());
        for (int i = 0; made.totalBytes < 20u << 20; ++i) {
            size_t size = 20000 + (size_t(i) * 7919 % 400000);
            auto bytes = makeEntry(i % 4, size, uint32_t(i));
            std::string name = "entry" + std::to_string(i) + ".bin";
            archive.addBytes(bytes.data(), bytes.size(), name.c_str());
            made.names.push_back(name);
            made.totalBytes += size;
        }
        archive.close();
        DataArchive reread(made.path.c_str());
        std::FILE* file = std::fopen(made.path.c_str(), "rb");
        for (int i = 0; i < reread.entryCount(); ++i) {
            std::vector<uint8_t> block(reread.packedSize(i));
            std::fseek(file, long(reread.entry(i).offset), SEEK_SET);
            if (std::fread(block.data(), 1, block.size(), file) != block.size()) std::abort();
            made.packed.push_back(std::move(block));
            made.unpacked.push_back(reread.unpackedSize(i));
        }
        std::fclose(file);
        return made;
    }();
    return f;
}

// As the readers do: a new archive object per entry (open, read the directory, find, extract).
void archiveExtractAll(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        for (const std::string& name : f.names) {
            DataArchive archive(f.path.c_str());
            auto bytes = archive.extract(name.c_str());
            benchmark::DoNotOptimize(bytes);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.totalBytes));
}

void zlibUncompressAll(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        for (size_t i = 0; i < f.packed.size(); ++i) {
            std::vector<uint8_t> out(f.unpacked[i]);
            uLongf length = f.unpacked[i];
            uncompress(out.data(), &length, f.packed[i].data(), uLong(f.packed[i].size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.totalBytes));
}

BENCHMARK(archiveExtractAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(zlibUncompressAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kestrune::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double archive = reporter.timeOf("archiveExtractAll");
    double zlib = reporter.timeOf("zlibUncompressAll");
    if (archive > 0 && zlib > 0)
        std::printf("archive extraction / bare zlib uncompress: %.3f (goal: at most 1.1)\n",
                    archive / zlib);
    std::filesystem::remove(fixture().path);
    return 0;
}
