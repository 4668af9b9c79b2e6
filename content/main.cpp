// kestrune-content: writes the show's content into a folder: "krv.dat" and the loose "test.xm".
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "content/show.h"

using namespace kestrune;

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: kestrune-content FOLDER\n"
                     "Writes the show's content into FOLDER: krv.dat and test.xm.\n");
        return argc == 2 ? 0 : 2;
    }
    auto started = std::chrono::steady_clock::now();
    try {
        ShowContent show = buildShow();
        std::string error;
        if (!writeShow(show, argv[1], error)) {
            std::fprintf(stderr, "kestrune-content: %s\n", error.c_str());
            return 1;
        }
        int total = 0;
        for (int frames : show.partFrames) total += frames;
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("kestrune-content: %d archive entries, parts of %d frames (%.0f s), "
                    "written in %.2f s\n",
                    static_cast<int>(show.archived.size()), total, total * kFrameMs / 1000.0,
                    seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrune-content: %s\n", e.what());
        return 1;
    }
    return 0;
}
