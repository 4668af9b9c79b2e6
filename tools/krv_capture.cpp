// krv capture: the show as kestrune plays it after "GO!!", on a virtual clock and without a
// visible window, written out as numbered PNG frames and the music of the same stretch as WAV,
// optionally joined into a video by ffmpeg.
#include <GL/gl.h>
#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "platform/process.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_device.h"
#include "render/direct3d/soft/soft_rasterizer.h"
#include "render/opengl/opengl_backend.h"
#include "shell/driver.h"
#include "tools/krv_capture_audio.h"
#include "tools/krv_commands.h"

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
    "DIR/audio.wav, the music of the same stretch; --video joins them with ffmpeg.\n"
    "Defaults: opengl, 640x480, 30 fps, from 0, 10 seconds, DIR capture.\n";

int usage(const char* message) {
    std::fprintf(stderr, "krv capture: %s\n%s", message, kUsage);
    return kExitUsage;
}

struct Capture {
    bool direct3D = false;
    int width = 640;
    int height = 480;
    double fps = 30;
    double from = 0; // seconds of show time before the first frame written
    double seconds = 10;
    std::filesystem::path out = "capture";
    std::string video;

    int64_t frameTurns = 0; // endFrame calls so far: the virtual clock
    int64_t framesWritten = 0;
    int64_t framesWanted = 0;
    int64_t attachMs = -1;        // show time the music started; -1 before
    std::vector<uint8_t> rgb;     // one frame, top row first
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

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

void readFrame() {
    const int w = capture.width, h = capture.height;
    capture.rgb.assign(size_t(w) * size_t(h) * 3, 0);
    if (!capture.direct3D) {
        std::vector<uint8_t> bottomUp(capture.rgb.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
        const size_t row = size_t(w) * 3;
        for (int y = 0; y < h; ++y)
            std::memcpy(capture.rgb.data() + size_t(y) * row,
                        bottomUp.data() + size_t(h - 1 - y) * row, row);
        return;
    }
    DirectDrawSurface* back = direct3DDisplay.backBuffer;
    SurfaceDesc desc;
    if (!back || back->lock(desc) < 0 || !desc.surface) return;
    const int cw = std::min(w, int(desc.width)), ch = std::min(h, int(desc.height));
    for (int y = 0; y < ch; ++y) {
        const auto* in =
            reinterpret_cast<const uint8_t*>(desc.surface) + std::ptrdiff_t(y) * desc.pitch;
        uint8_t* out = capture.rgb.data() + size_t(y) * size_t(w) * 3;
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
bool writeAudio() {
    const int64_t frames =
        int64_t(std::llround(double(capture.framesWritten) / capture.fps * kCaptureRate));
    const int64_t startFrame = int64_t(std::llround(capture.from * kCaptureRate));
    const int64_t attachFrame =
        capture.attachMs < 0 ? -1 : capture.attachMs * int64_t(kCaptureRate) / 1000;
    return writeCaptureAudio((capture.out / "audio.wav").string(), "test.xm", startFrame, frames,
                             attachFrame);
}

bool makeVideo() {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) {
        std::fprintf(stderr, "krv capture: --video needs the ffmpeg program, which is not "
                             "installed\n");
        return false;
    }
    auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", capture.fps);
    const std::string command = "ffmpeg -y -loglevel error -framerate " + std::string(rate) +
                                " -i " + quoted((capture.out / "frame_%06d.png").string()) +
                                " -i " + quoted((capture.out / "audio.wav").string()) +
                                " -pix_fmt yuv420p -shortest " + quoted(capture.video);
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "krv capture: ffmpeg could not make %s\n", capture.video.c_str());
        return false;
    }
    return true;
}

// Everything written: the sound, the video, and the process ends here as the show's own endings
// do (the driver does not return from them).
[[noreturn]] void finish(int) {
    std::fputc('\n', stderr);
    int status = capture.failed ? kExitFailure : kExitOk;
    if (!capture.failed && !writeAudio()) {
        std::fprintf(stderr, "krv capture: cannot write %s\n",
                     (capture.out / "audio.wav").string().c_str());
        status = kExitFailure;
    }
    if (status == kExitOk && !capture.video.empty() && !makeVideo()) status = kExitFailure;
    std::fflush(nullptr);
    endProcessAtOnce(status);
}

void captureEndFrame() {
    if (capturing() && capture.framesWritten < capture.framesWanted) {
        readFrame();
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06lld.png", (long long)capture.framesWritten);
        const std::string path = (capture.out / name).string();
        if (!writePng(path, capture.width, capture.height, capture.rgb)) {
            std::fprintf(stderr, "\nkrv capture: cannot write %s: %s\n", path.c_str(),
                         std::strerror(errno));
            capture.failed = true;
            finish(1);
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
        std::fprintf(stderr, "krv capture: no GL context could be made\n");
        std::exit(kExitFailure);
    }
    capture.endFrame = renderBackend.endFrame;
    capture.drawPolygon = renderBackend.drawPolygon;
    renderBackend.endFrame = captureEndFrame;
    renderBackend.drawPolygon = captureDrawPolygon;
    return 1;
}

bool parseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end && end != text && !*end && value >= low && value <= high;
}

} // namespace

int runCaptureCommand(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (i + 1 >= argc) return usage(("a value is missing after " + option).c_str());
        const char* value = argv[++i];
        if (option == "--renderer") {
            if (!std::strcmp(value, "opengl"))
                capture.direct3D = false;
            else if (!std::strcmp(value, "direct3d"))
                capture.direct3D = true;
            else
                return usage("--renderer takes opengl or direct3d");
        } else if (option == "--size") {
            if (std::sscanf(value, "%dx%d", &capture.width, &capture.height) != 2 ||
                capture.width < 16 || capture.height < 16 || capture.width > 4096 ||
                capture.height > 4096)
                return usage("--size takes WxH, each from 16 to 4096");
        } else if (option == "--fps") {
            if (!parseNumber(value, 1, 240, capture.fps))
                return usage("--fps takes a number from 1 to 240");
        } else if (option == "--from") {
            if (!parseNumber(value, 0, 24 * 3600, capture.from))
                return usage("--from takes seconds from 0 to 86400");
        } else if (option == "--seconds") {
            if (!parseNumber(value, 0.001, 24 * 3600, capture.seconds))
                return usage("--seconds takes seconds above 0, at most 86400");
        } else if (option == "--out") {
            capture.out = value;
        } else if (option == "--video") {
            capture.video = value;
        } else {
            return usage(("unknown option " + option).c_str());
        }
    }
    capture.framesWanted = std::max<int64_t>(1, std::llround(capture.seconds * capture.fps));

    std::error_code error;
    std::filesystem::create_directories(capture.out, error);
    if (error || !std::filesystem::is_directory(capture.out)) {
        std::fprintf(stderr, "krv capture: cannot make the folder %s\n",
                     capture.out.string().c_str());
        return kExitFailure;
    }
    // No visible window: SDL's offscreen driver for OpenGL; the software device needs none.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setDefaultArchiveName("krv.dat");

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
