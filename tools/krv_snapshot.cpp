// krv snapshot: pictures of the options window and of a scene as the show draws them, as PNG files,
// made headless (SDL's offscreen video driver unless SDL_VIDEODRIVER names another).
#include <GL/gl.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "mesh/metaballs.h"
#include "platform/canvas.h"
#include "render/frame_renderer.h"
#include "render/opengl/opengl_backend.h"
#include "scene/scene.h"
#include "shell/options_window.h"
#include "tools/krv_commands.h"

namespace kestrune {

namespace {

const char kUsage[] =
    "usage: krv snapshot options OUT.png\n"
    "       krv snapshot scene SCENE FRAME OUT.png [--size WxH] [--archive PATH]\n"
    "\n"
    "options: the options window as it first appears (335 x 235).\n"
    "scene: SCENE read as the show reads it (a loose file first, then the archive PATH, default\n"
    "krv.dat) and drawn at FRAME by the OpenGL backend into a window of WxH (default 640x480),\n"
    "with the show's default switches (mipmapping, perspective correction, filtering; windowed).\n";

int usage(const char* message) {
    std::fprintf(stderr, "krv snapshot: %s\n%s", message, kUsage);
    return kExitUsage;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "krv snapshot: %s\n", message.c_str());
    return kExitFailure;
}

// rgb holds height rows of width three-byte pixels, top row first.
bool writePng(const char* path, int width, int height, const std::vector<uint8_t>& rgb) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool ok = false; // survives libpng's error jump
    if (info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, rgb.data() + static_cast<size_t>(y) * width * 3);
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

int snapshotOptions(int argc, char** argv) {
    if (argc != 1) return usage("options takes OUT.png");
    buildOptionsWindow(nullptr, nullptr);
    PlatformWindow* window = optionsWindow.top->window;
    if (!window) return fail("no video driver could open a window");
    WindowMessage message;
    while (peekMessage(message))
        if (message.event.type != EventType::Quit) dispatchMessage(message);
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(window->width) * window->height * 3);
    for (int y = 0; y < window->height; ++y)
        for (int x = 0; x < window->width; ++x) {
            Color c = canvasPixel(window, x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    int width = window->width, height = window->height;
    releaseOptionsWindow();
    if (!writePng(argv[0], width, height, rgb))
        return fail(std::string("cannot write ") + argv[0] + ": " + std::strerror(errno));
    return kExitOk;
}

int snapshotScene(int argc, char** argv) {
    std::vector<const char*> positional;
    int width = 640, height = 480;
    const char* archive = "krv.dat";
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") || !std::strcmp(argv[i], "--archive")) {
            if (i + 1 >= argc) return usage("a value is missing after an option");
            if (argv[i][2] == 'a') {
                archive = argv[++i];
            } else if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 ||
                       height < 16 || width > 4096 || height > 4096) {
                return usage("--size takes WxH, each from 16 to 4096");
            }
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() != 3) return usage("scene takes SCENE, FRAME and OUT.png");
    char* end = nullptr;
    float frame = std::strtof(positional[1], &end);
    if (*positional[1] == 0 || *end != 0) return usage("FRAME is a number");

    setDefaultArchiveName(archive);
    renderOptions = RenderOptions{};
    renderOptions.fullscreen = 0;
    fillOpenGLBackend(renderBackend);
    renderBackend.openDisplay(width, height, nullptr, nullptr);
    if (!openGLDisplay.context.native) return fail("no GL context could be made");
    static Scene scene; // the scene's records are large; keep them off the stack
    if (!loadScene(scene, positional[0]))
        return fail(std::string("cannot read scene ") + positional[0]);
    initMetaballs();
    prepareMetaballObjects(scene);
    renderBackend.beginFrame();
    drawScene(scene, frame);
    glFinish();

    std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> rgb(bottomUp.size());
    size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(rgb.data() + y * row, bottomUp.data() + (height - 1 - y) * row, row);
    renderBackend.closeDisplay();
    freeMetaballs();
    if (!writePng(positional[2], width, height, rgb))
        return fail(std::string("cannot write ") + positional[2] + ": " + std::strerror(errno));
    return kExitOk;
}

} // namespace

int runSnapshotCommand(int argc, char** argv) {
    if (argc < 1) return usage("a subcommand is missing");
    if (!std::strcmp(argv[0], "--help") || !std::strcmp(argv[0], "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // headless unless asked otherwise
    if (!std::strcmp(argv[0], "options")) return snapshotOptions(argc - 1, argv + 1);
    if (!std::strcmp(argv[0], "scene")) return snapshotScene(argc - 1, argv + 1);
    return usage("unknown subcommand (options or scene)");
}

} // namespace kestrune
