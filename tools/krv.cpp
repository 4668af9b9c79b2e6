// krv, the companion tool: dispatches to its subcommands.
#include <cstdio>
#include <cstring>

#include "tools/krv_commands.h"

using namespace kestrune;

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Subcommand kSubcommands[] = {
    {"pack", runPackCommand, "list, add, extract, remove and verify entries of a data archive"},
    {"scene", runSceneCommand, "inspect scenes as the show reads them (records and channel values)"},
    {"xm", runXmCommand, "facts about a music module, render it to WAV, play it"},
    {"snapshot", runSnapshotCommand, "pictures of the options window and of a drawn scene (PNG)"},
    {"capture", runCaptureCommand, "the show on a virtual clock as PNG frames, WAV sound, video"},
};

void printUsage(std::FILE* out) {
    std::fprintf(out, "usage: krv <command> [arguments]\n\ncommands:\n");
    for (const Subcommand& sub : kSubcommands)
        std::fprintf(out, "  %-8s %s\n", sub.name, sub.summary);
    std::fprintf(out, "\n'krv <command> --help' describes a command.\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        printUsage(stdout);
        return kExitOk;
    }
    for (const Subcommand& sub : kSubcommands)
        if (!std::strcmp(argv[1], sub.name)) return sub.run(argc - 2, argv + 2);
    std::fprintf(stderr, "krv: unknown command '%s' (see 'krv --help')\n", argv[1]);
    return kExitUsage;
}
