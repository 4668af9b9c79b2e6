// krv xm: facts about an extended module, rendering it to a WAV file through the show's output
// path, and playing it on the sound device.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "music/module_player.h"
#include "music/wave_out_device.h"
#include "platform/clock.h"
#include "tools/json_writer.h"
#include "tools/krv_args.h"
#include "tools/krv_commands.h"
#include "tools/krv_files.h"
#include "tools/krv_song_length.h"
#include "tools/krv_wav_output.h"

namespace kestrune {
namespace {

constexpr const char* kUsage =
    "usage: krv xm info FILE\n"
    "       krv xm render FILE OUT.wav [--seconds N] [--song]\n"
    "       krv xm play FILE\n"
    "\n"
    "  info    facts about the module as JSON: channels, patterns and their rows, instruments\n"
    "          and samples, frequency table, speed, BPM, song length, restart, effects used\n"
    "  render  plays the module through the show's output device into a 44100 Hz 16-bit\n"
    "          stereo WAV file (default 30 seconds); needs no sound device. --song plays the\n"
    "          song once through, following jumps, breaks and loops, prints its length and\n"
    "          stops there (or at --seconds, when that comes first). OUT.wav takes its name\n"
    "          only once it is complete, and may not be FILE\n"
    "  play    plays the module on the sound device until interrupted, printing the order\n"
    "          position, pattern and row\n";

int usage(const char* message) {
    if (message) std::fprintf(stderr, "krv xm: %s\n", message);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

bool load(ModulePlayer& player, const char* path) {
    std::string error;
    if (!checkInputFile(path, error)) {
        std::fprintf(stderr, "krv xm: %s\n", error.c_str());
        return false;
    }
    if (player.loadFromFile(path) == 0) {
        const std::string_view why = player.refusal.reason;
        std::fprintf(stderr, "krv xm: '%s' is not an extended module this player can read: %.*s\n",
                     path, static_cast<int>(why.size()), why.data());
        return false;
    }
    return true;
}

// The arguments of a subcommand; false when they are wrong (or asked for help): status is then
// the exit status.
bool readArgs(int argc, char** argv, std::initializer_list<FlagSpec> flags, ParsedArgs& args,
              int& status) {
    if (!parseArgs(argc, argv, flags, args)) {
        status = usage(args.error.c_str());
        return false;
    }
    if (args.help) {
        status = printHelp(kUsage);
        return false;
    }
    return true;
}

const char* loopKind(int loopType) {
    return loopType == LoopForward ? "forward" : loopType == LoopPingPong ? "ping-pong" : "none";
}

// Effect names as trackers show them: 0..9, A..Z, E commands as E1..EF, volume column kinds.
std::vector<std::string> effectsUsed(const Module& m) {
    std::set<std::string> names;
    static const char* kVolumeColumn[16] = {nullptr,
                                            "volume",
                                            "volume",
                                            "volume",
                                            "volume",
                                            "volume",
                                            "volume slide down",
                                            "volume slide up",
                                            "fine volume down",
                                            "fine volume up",
                                            "vibrato speed",
                                            "vibrato",
                                            "set panning",
                                            "panning slide left",
                                            "panning slide right",
                                            "tone portamento"};
    NoteCell cells[kMaxChannels];
    for (const Pattern& p : m.patterns) {
        for (int row = 0; row < std::max(p.rowCount, 1); ++row) {
            unpackRow(p, row, cells);
            for (int ch = 0; ch < m.channelCount; ++ch) {
                const int type = cells[ch].effect >> 8, param = cells[ch].effect & 0xFF;
                if (type != 0 || param != 0) {
                    char name[8];
                    const char letter = type < 10   ? static_cast<char>('0' + type)
                                        : type < 36 ? static_cast<char>('A' + type - 10)
                                                    : '?';
                    if (type == Extended)
                        std::snprintf(name, sizeof name, "E%X", param >> 4);
                    else
                        std::snprintf(name, sizeof name, "%c", letter);
                    names.insert(name);
                }
                const int v = cells[ch].volume;
                if (v >= 0x10 && !(v > 0x50 && v < 0x60))
                    names.insert(std::string("volume column: ") + kVolumeColumn[v >> 4]);
            }
        }
    }
    return {names.begin(), names.end()};
}

int info(int argc, char** argv) {
    ParsedArgs args;
    int status;
    if (!readArgs(argc, argv, {}, args, status)) return status;
    if (args.positional.size() != 1) return usage("info takes one FILE");
    ModulePlayer player;
    if (!load(player, args.positional[0])) return kExitFailure;
    const Module& m = player.module();
    JsonWriter out(stdout);
    out.beginObject();
    out.key("channels");
    out.value(m.channelCount);
    out.key("frequencyTable");
    out.value(m.frequencyMode == FrequencyLinear ? "linear" : "amiga");
    out.key("speed");
    out.value(m.speed);
    out.key("bpm");
    out.value(m.bpm);
    out.key("songLength");
    out.value(m.songLength);
    out.key("restartPosition");
    out.value(m.restartPosition);
    out.key("order");
    std::vector<int32_t> order(m.order, m.order + m.songLength);
    out.ints(order.data(), static_cast<int>(order.size()));
    out.key("patterns");
    std::vector<int32_t> rows;
    for (const Pattern& p : m.patterns) rows.push_back(p.rowCount);
    out.ints(rows.data(), static_cast<int>(rows.size()));
    out.key("instruments");
    out.beginArray();
    const int instruments = std::min(m.instrumentCount, kInstrumentSlots);
    for (int i = 0; i < instruments; ++i) {
        const Instrument& ins = m.instruments[static_cast<size_t>(i)];
        out.beginObject();
        out.key("number");
        out.value(i + 1);
        out.key("name");
        out.value(std::string_view(ins.name, strnlen(ins.name, sizeof ins.name)));
        out.key("volumeEnvelope");
        out.value(ins.volumeEnvelope.enabled);
        out.key("panningEnvelope");
        out.value(ins.panningEnvelope.enabled);
        out.key("fadeout");
        out.value(ins.fadeout);
        out.key("samples");
        out.beginArray();
        for (int s = 0; s < ins.sampleCount; ++s) {
            const Sample& smp = ins.samples[s];
            out.beginObject();
            out.key("bits");
            out.value(smp.bits);
            out.key("length");
            out.value(smp.length);
            out.key("loop");
            out.value(loopKind(smp.loopType));
            if (smp.loopType != LoopNone) {
                out.key("loopStart");
                out.value(smp.loopStart);
                out.key("loopEnd");
                out.value(smp.loopEnd);
            }
            out.key("volume");
            out.value(smp.volume);
            out.key("finetune");
            out.value(static_cast<int32_t>(smp.finetune));
            out.key("relativeNote");
            out.value(static_cast<int32_t>(smp.relativeNote));
            out.endObject();
        }
        out.endArray();
        out.endObject();
    }
    out.endArray();
    out.key("effects");
    out.beginArray();
    for (const std::string& e : effectsUsed(m)) out.value(e);
    out.endArray();
    out.endObject();
    out.finish();
    return kExitOk;
}

int render(int argc, char** argv) {
    ParsedArgs args;
    int status;
    if (!readArgs(argc, argv, {{"--seconds", true}, {"--song", false}}, args, status))
        return status;
    if (args.positional.size() != 2) return usage("render takes FILE and OUT.wav");
    const char* modulePath = args.positional[0];
    const char* wavPath = args.positional[1];
    double seconds = 30;
    if (const char* text = args.value("--seconds")) {
        if (!parseNumber(text, 0, 24 * 3600, seconds) || !(seconds > 0))
            return usage("--seconds takes a number of seconds above 0 and at most 86400");
        if (std::string message; !wavLengthFits(seconds, message))
            return usage(("--seconds " + std::string(text) + " is too long: " + message).c_str());
    }
    std::string error;
    if (!checkOutputIsNotInput(wavPath, {modulePath}, error)) {
        std::fprintf(stderr, "krv xm: %s\n", error.c_str());
        return kExitFailure;
    }
    auto player = std::make_unique<ModulePlayer>();
    if (!load(*player, modulePath)) return kExitFailure;
    int64_t frames = static_cast<int64_t>(seconds * kMixRate + 0.5);
    if (args.has("--song")) {
        auto measured = std::make_unique<ModulePlayer>();
        measured->loadFromFile(modulePath);
        const SongLength length =
            measureSong(*measured, args.has("--seconds") ? frames : kMaxWavFrames);
        frames = length.frames;
        if (length.ended)
            std::printf("song: %.3f seconds\n", double(frames) / kMixRate);
        else
            std::printf("song: longer than %.3f seconds, written up to there\n",
                        double(frames) / kMixRate);
    }
    if (!writeMusicWav(player.get(), wavPath, WavStretch{0, 0, frames}, error)) {
        std::fprintf(stderr, "krv xm: %s\n", error.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted = true;
}

int play(int argc, char** argv) {
    ParsedArgs args;
    int status;
    if (!readArgs(argc, argv, {}, args, status)) return status;
    if (args.positional.size() != 1) return usage("play takes one FILE");
    ModulePlayer player;
    if (!load(player, args.positional[0])) return kExitFailure;
    WaveOutDevice device;
    if (device.open() == 0) {
        std::fprintf(stderr, "krv xm: no sound device could be opened\n");
        return kExitFailure;
    }
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    device.attach(&player);
    int lastPosition = -1, lastRow = -1;
    while (!interrupted) {
        int position, pattern, row;
        {
            std::lock_guard<std::mutex> guard(device.lock());
            position = player.orderPosition;
            pattern = player.currentPattern;
            row = player.row;
        }
        if (position != lastPosition || row != lastRow) {
            std::printf("position %3d  pattern %3d  row %3d\n", position, pattern, row);
            std::fflush(stdout);
            lastPosition = position;
            lastRow = row;
        }
        sleepMilliseconds(20);
    }
    device.detach(&player);
    device.stop();
    return kExitOk;
}

} // namespace

int runXmCommand(int argc, char** argv) {
    if (argc < 1) return usage(nullptr);
    const std::string_view sub = argv[0];
    if (sub == "--help" || sub == "-h" || sub == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (sub == "info") return info(argc - 1, argv + 1);
    if (sub == "render") return render(argc - 1, argv + 1);
    if (sub == "play") return play(argc - 1, argv + 1);
    return usage("unknown subcommand (info, render or play)");
}

} // namespace kestrune
