// krv capture: the show as kestrune plays it after "GO!!", on a virtual clock and without a
// visible window, written out as numbered PNG frames and the music of the same stretch as WAV,
// optionally joined into a video by ffmpeg.
#include <GL/gl.h>

#include <csignal>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "platform/process.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_device.h"
#include "render/direct3d/soft/soft_rasterizer.h"
#include "render/opengl/opengl_backend.h"
#include "shell/driver.h"
#include "music/module_player.h"
#include "music/sound_buffer.h"
#include "tools/krv_args.h"
#include "tools/krv_commands.h"
#include "tools/krv_files.h"
#include "tools/krv_frame_writer.h"
#include "tools/krv_video.h"
#include "tools/krv_wav_output.h"

namespace kestrune {

namespace {

const char kUsage[] =
    "usage: krv capture [--renderer opengl|direct3d] [--size WxH] [--fps N] [--from SECONDS]\n"
    "                   [--seconds N] [--out DIR] [--video FILE]\n"
    "\n"
    "Plays the show from the working directory (krv.dat, test.xm) exactly as kestrune does after\n"
    "\"GO!!\" with the options window's first switches (full screen off; Direct3D takes the first\n"
    "device without its dialog), on a clock that advances 1000 / fps ms per frame and without a\n"
    "visible window. Writes DIR/frame_000000.png on (one per frame from --from for --seconds) and\n"
    "DIR/audio.wav, the music of the same stretch. --video pipes the frames to ffmpeg instead of\n"
    "writing PNG files and joins them with the music into FILE. Every file takes its name only\n"
    "once it is complete. A start past the show's end is refused with the show's length.\n"
    "Defaults: opengl, 640x480, 30 fps, from 0, 10 seconds, DIR capture.\n";

int usage(const std::string& message) {
    return usageError("capture", message, kUsage);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "krv capture: %s\n", message.c_str());
    return kExitFailure;
}

struct Capture {
    bool direct3D = false;
    int width = 640;
    int height = 480;
    double fps = 30;
    double from = 0; // seconds of show time before the first frame written
    double seconds = 10;
    std::filesystem::path out = "capture";
    bool madeOut = false; // the folder did not exist before
    std::string video;

    int64_t frameTurns = 0; // endFrame calls so far: the virtual clock
    int64_t framesWritten = 0;
    int64_t framesWanted = 0;
    int64_t attachMs = -1;        // show time the music started; -1 before
    std::vector<uint8_t> rgb;     // one frame for the video, top row first
    std::vector<uint8_t> bottomUp; // OpenGL's rows as read
    std::unique_ptr<PngFrameWriter> pngs;
    std::unique_ptr<VideoEncoder> videoEncoder;
    void (*endFrame)() = nullptr; // the backend's own
    void (*drawPolygon)(const Mesh&, const MeshPolygon&) = nullptr;
    bool failed = false;
};

Capture capture;
SoftDirectDrawSystem* softDevice = nullptr;
int headlessWindow; // stands for the Direct3D output window, which capture does not show

uint32_t showTimeMs(int64_t turns) {
    return static_cast<uint32_t>(std::floor(double(turns) * 1000.0 / capture.fps));
}

uint32_t virtualClock() {
    return showTimeMs(capture.frameTurns);
}

bool capturing() {
    return double(virtualClock()) >= capture.from * 1000.0;
}

// The back buffer into rgb (width x height x 3 bytes), top row first.
void readFrame(uint8_t* rgb) {
    const int w = capture.width, h = capture.height;
    if (!capture.direct3D) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, capture.bottomUp.data());
        const size_t row = size_t(w) * 3;
        for (int y = 0; y < h; ++y)
            std::memcpy(rgb + size_t(y) * row, capture.bottomUp.data() + size_t(h - 1 - y) * row,
                        row);
        return;
    }
    std::memset(rgb, 0, size_t(w) * size_t(h) * 3);
    DirectDrawSurface* back = direct3DDisplay.backBuffer;
    SurfaceDesc desc;
    if (!back || back->lock(desc) < 0 || !desc.surface) return;
    const int cw = std::min(w, int(desc.width)), ch = std::min(h, int(desc.height));
    for (int y = 0; y < ch; ++y) {
        const auto* in =
            reinterpret_cast<const uint8_t*>(desc.surface) + std::ptrdiff_t(y) * desc.pitch;
        uint8_t* out = rgb + size_t(y) * size_t(w) * 3;
        for (int x = 0; x < cw; ++x) {
            const uint16_t p = uint16_t(in[2 * x] | (in[2 * x + 1] << 8));
            out[3 * x] = uint8_t(red565(p));
            out[3 * x + 1] = uint8_t(green565(p));
            out[3 * x + 2] = uint8_t(blue565(p));
        }
    }
    back->unlock();
}

// The music of the written stretch, as the device plays it from the moment it was attached.
bool writeAudio(std::string& error) {
    WavStretch stretch;
    stretch.frames =
        int64_t(std::llround(double(capture.framesWritten) / capture.fps * kMixRate));
    const int64_t startFrame = int64_t(std::llround(capture.from * kMixRate));
    std::unique_ptr<ModulePlayer> player;
    if (capture.attachMs >= 0) {
        const int64_t attachFrame = capture.attachMs * int64_t(kMixRate) / 1000;
        // Music frames to leave out (the stretch starts after the attach) and silent frames to
        // lead with (it starts before).
        stretch.skip = std::max<int64_t>(0, startFrame - attachFrame);
        stretch.silence = std::max<int64_t>(0, attachFrame - startFrame);
        player = std::make_unique<ModulePlayer>();
        // A module that cannot be read leaves the stretch silent, as the show plays nothing.
        if (player->loadFromFile("test.xm") == 0) player.reset();
    }
    return writeMusicWav(player.get(), (capture.out / "audio.wav").string(), stretch, error);
}

// Everything written: the frames, the sound, the video, and the process ends here as the show's
// own endings do (the driver does not return from them).
[[noreturn]] void finish(int) {
    std::fputc('\n', stderr);
    std::string error;
    bool ok = !capture.failed;
    if (capture.pngs && !capture.pngs->finish(error)) ok = fail(error) == kExitOk;
    if (ok && capture.framesWritten == 0) {
        std::fprintf(stderr,
                     "krv capture: --from %g is past the show's end: the show lasts %.3f "
                     "seconds at %g fps\n",
                     capture.from, double(virtualClock()) / 1000.0, capture.fps);
        ok = false;
    }
    if (ok && !writeAudio(error)) ok = fail(error) == kExitOk;
    if (ok && capture.videoEncoder &&
        !capture.videoEncoder->finish((capture.out / "audio.wav").string(), error))
        ok = fail(error) == kExitOk;
    capture.videoEncoder.reset(); // removes its temporary files
    std::error_code ignored;
    if (!ok && capture.madeOut) std::filesystem::remove(capture.out, ignored); // only if empty
    std::fflush(nullptr);
    endProcessAtOnce(ok ? kExitOk : kExitFailure);
}

void captureEndFrame() {
    if (capturing() && capture.framesWritten < capture.framesWanted) {
        if (capture.videoEncoder) {
            readFrame(capture.rgb.data());
            if (!capture.videoEncoder->write(capture.rgb.data())) {
                std::fprintf(stderr, "\nkrv capture: ffmpeg stopped taking frames\n");
                capture.failed = true;
                finish(1);
            }
        } else {
            readFrame(capture.pngs->acquire());
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06lld.png", (long long)capture.framesWritten);
            capture.pngs->submit((capture.out / name).string());
        }
        ++capture.framesWritten;
        if (capture.attachMs < 0)
            std::fprintf(stderr, "\rframe %lld of %lld, loading", (long long)capture.framesWritten,
                         (long long)capture.framesWanted);
        else
            std::fprintf(stderr, "\rframe %lld of %lld, part %d  ",
                         (long long)capture.framesWritten, (long long)capture.framesWanted,
                         showState.part + 1);
    }
    capture.endFrame();
    ++capture.frameTurns;
    if (capture.framesWritten >= capture.framesWanted) finish(0);
}

// Frames before the stretch are timed but not drawn.
void captureDrawPolygon(const Mesh& object, const MeshPolygon& polygon) {
    if (capturing()) capture.drawPolygon(object, polygon);
}

// The "GO!!" step with the options window's first switches, full screen off.
int openCaptureDisplay(void*, WindowProcedure procedure) {
    renderOptions = RenderOptions{};
    renderOptions.fullscreen = 0;
    renderBackend = {};
    if (capture.direct3D) {
        softDevice = new SoftDirectDrawSystem(); // lives until the process ends, as the show's
        direct3DHost.system = softDevice;
        direct3DHost.createOutputWindow = [](void*, WindowProcedure) -> void* {
            return &headlessWindow;
        };
        direct3DHost.destroyOutputWindow = [](void*) {};
        direct3DHost.chooseDevice = [](void*, const std::vector<DirectDrawDeviceRecord>& d) {
            return d.empty() ? -1 : 0;
        };
        fillDirect3DBackend(renderBackend);
        renderOptions.perspectiveCorrection = 1;
    } else {
        fillOpenGLBackend(renderBackend);
    }
    renderBackend.openDisplay(capture.width, capture.height, nullptr, procedure);
    if (!capture.direct3D && !openGLDisplay.context.native) {
        fail("no GL context could be made");
        std::_Exit(kExitFailure);
    }
    capture.endFrame = renderBackend.endFrame;
    capture.drawPolygon = renderBackend.drawPolygon;
    renderBackend.endFrame = captureEndFrame;
    renderBackend.drawPolygon = captureDrawPolygon;
    return 1;
}

// The show's content in the working directory: the archive, or loose files without one.
bool checkShowContent() {
    bool haveArchive = false;
    std::string error;
    if (!checkArchiveToRead("krv.dat", haveArchive, error)) return fail(error), false;
    std::error_code code;
    if (!haveArchive && !std::filesystem::is_regular_file("load.lws", code)) {
        fail("no show here: the working directory holds neither krv.dat nor load.lws");
        return false;
    }
    // Without an archive the show's reads find loose files only, and nothing is created.
    setDefaultArchiveName(haveArchive ? "krv.dat" : kNoArchiveName);
    return true;
}

} // namespace

int runCaptureCommand(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv,
                   {{"--renderer", true},
                    {"--size", true},
                    {"--fps", true},
                    {"--from", true},
                    {"--seconds", true},
                    {"--out", true},
                    {"--video", true}},
                   args))
        return usage(args.error);
    if (args.help) return printHelp(kUsage);
    if (!args.positional.empty())
        return usage(std::string("unexpected argument ") + args.positional[0]);
    if (const char* renderer = args.value("--renderer")) {
        if (!std::strcmp(renderer, "opengl"))
            capture.direct3D = false;
        else if (!std::strcmp(renderer, "direct3d"))
            capture.direct3D = true;
        else
            return usage("--renderer takes opengl or direct3d");
    }
    if (const char* size = args.value("--size");
        size && !parseSize(size, 16, 4096, capture.width, capture.height))
        return usage("--size takes WxH, each from 16 to 4096");
    if (const char* fps = args.value("--fps"); fps && !parseNumber(fps, 1, 240, capture.fps))
        return usage("--fps takes a number from 1 to 240");
    if (const char* from = args.value("--from");
        from && !parseNumber(from, 0, 24 * 3600, capture.from))
        return usage("--from takes seconds from 0 to 86400");
    if (const char* seconds = args.value("--seconds");
        seconds && (!parseNumber(seconds, 0.001, 24 * 3600, capture.seconds)))
        return usage("--seconds takes seconds above 0, at most 86400");
    if (std::string message; !wavLengthFits(capture.seconds, message))
        return usage("--seconds is too long for the sound: " + message);
    if (args.has("--out")) capture.out = args.value("--out");
    if (args.has("--video")) capture.video = args.value("--video");
    capture.framesWanted = std::max<int64_t>(1, std::llround(capture.seconds * capture.fps));

    if (!checkShowContent()) return kExitFailure;
    std::string error;
    if (!capture.video.empty()) {
        if (!checkOutputIsNotInput(capture.video, {"krv.dat", "test.xm"}, error))
            return fail(error);
        if (!ffmpegInstalled())
            return fail("--video needs the ffmpeg program, which is not installed");
    }
    std::error_code fileError;
    capture.madeOut = std::filesystem::create_directories(capture.out, fileError);
    if (fileError || !std::filesystem::is_directory(capture.out))
        return fail("cannot make the folder " + capture.out.string());

    const size_t frameBytes = size_t(capture.width) * size_t(capture.height) * 3;
    if (!capture.direct3D) capture.bottomUp.resize(frameBytes);
    if (!capture.video.empty()) {
        capture.rgb.resize(frameBytes);
        capture.videoEncoder = std::make_unique<VideoEncoder>();
        if (!capture.videoEncoder->start(capture.video, capture.width, capture.height,
                                         capture.fps, error))
            return fail(error);
    } else {
        // Frames are large and short-lived: zlib's fastest level, on every core.
        capture.pngs = std::make_unique<PngFrameWriter>(
            capture.width, capture.height, int(std::max(1u, std::thread::hardware_concurrency())),
            1);
    }
#ifdef SIGPIPE
    // A reader gone from ffmpeg's pipe shows as a failed write, not a killed process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // No visible window: SDL's offscreen driver for OpenGL; the software device needs none.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);

    DriverServices services = showServices();
    services.clock = virtualClock;
    services.runOptionsWindow = openCaptureDisplay;
    // The show's own sound stays closed: the music is rendered offline for the stretch.
    services.openSound = [] {};
    services.loadMusic = [](const char*) {};
    services.attachMusic = [] { capture.attachMs = virtualClock(); };
    services.detachMusic = [] {};
    services.stopSound = [] {};
    services.endProcess = finish;
    driverServices = services;
    runShow(nullptr);
    // Only a quit message (or a display that did not open) comes back here.
    finish(0);
}

} // namespace kestrune
