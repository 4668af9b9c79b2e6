// Generates the show's content once per test program into the build tree and reads it back.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "content/show.h"

namespace kestrune {

// One folder per test process, so tests run side by side do not share files; removed at exit.
inline std::filesystem::path generatedShowFolder() {
    static const std::filesystem::path folder = std::filesystem::path(KESTRUNE_BINARY_DIR) /
                                                "tests" / "content" /
                                                ("generated-" + std::to_string(::getpid()));
    return folder;
}

// The generated content; written on first use, with the archive made the default one.
inline const ShowContent& generatedShow() {
    static std::unique_ptr<ShowContent> show;
    if (!show) {
        show = std::make_unique<ShowContent>(buildShow());
        std::string error;
        if (!writeShow(*show, generatedShowFolder(), error)) throw std::runtime_error(error);
        static std::string archive = (generatedShowFolder() / "krv.dat").string();
        setDefaultArchiveName(archive.c_str());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(generatedShowFolder(), ignored);
        });
    }
    return *show;
}

} // namespace kestrune
