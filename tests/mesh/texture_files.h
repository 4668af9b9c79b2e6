// A scratch working folder with the recording texture backend, and an archive made in it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "texture_backend.h"

namespace kestrune::test {

class TextureFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kestrune_tex_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        // Relative names resolve in the scratch folder, as in the show's working directory.
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        useTextureBackend(true);
    }
    void TearDown() override {
        useTextureBackend(false);
        std::filesystem::current_path(previous);
        setDefaultArchiveName(kNoArchiveName);
        std::filesystem::remove_all(dir);
    }
    void archive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
        const std::string path = (dir / "krv.dat").string();
        {
            DataArchive a(path.c_str());
            for (auto& [name, bytes] : entries)
                ASSERT_TRUE(a.addBytes(bytes.data(), bytes.size(), name.c_str()));
            ASSERT_TRUE(a.close());
        }
        setDefaultArchiveName(path.c_str());
    }
    std::filesystem::path dir;
    std::filesystem::path previous;
};

} // namespace kestrune::test
