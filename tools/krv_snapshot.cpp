// krv snapshot: pictures of the options window and of a scene as the show draws them, as PNG files,
// made headless (SDL's offscreen video driver unless SDL_VIDEODRIVER names another).
#include <GL/gl.h>

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
#include "tools/krv_args.h"
#include "tools/krv_commands.h"
#include "tools/krv_files.h"
#include "tools/krv_png.h"
#include "tools/krv_scene.h"

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
int writeSnapshot(const char* path, int width, int height, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> png;
    std::string error;
    if (!encodePng(rgb.data(), width, height, 6, png)) return fail("cannot encode the picture");
    if (!writeWholeFile(path, png, error)) return fail(error);
    return kExitOk;
}

int snapshotOptions(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv, {}, args)) return usage(args.error.c_str());
    if (args.help) return printHelp(kUsage);
    if (args.positional.size() != 1) return usage("options takes OUT.png");
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
    return writeSnapshot(args.positional[0], width, height, rgb);
}

int snapshotScene(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv, {{"--size", true}, {"--archive", true}}, args))
        return usage(args.error.c_str());
    if (args.help) return printHelp(kUsage);
    int width = 640, height = 480;
    if (const char* size = args.value("--size"); size && !parseSize(size, 16, 4096, width, height))
        return usage("--size takes WxH, each from 16 to 4096");
    const char* archive = args.has("--archive") ? args.value("--archive") : "krv.dat";
    if (args.positional.size() != 3) return usage("scene takes SCENE, FRAME and OUT.png");
    float frame = 0;
    if (!parseFrame(args.positional[1], frame)) return usage("FRAME is a finite number");
    const char* out = args.positional[2];
    std::string error;
    if (!checkOutputIsNotInput(out, {archive, args.positional[0]}, error)) return fail(error);

    renderOptions = RenderOptions{};
    renderOptions.fullscreen = 0;
    fillOpenGLBackend(renderBackend);
    renderBackend.openDisplay(width, height, nullptr, nullptr);
    if (!openGLDisplay.context.native) return fail("no GL context could be made");
    static Scene scene; // the scene's records are large; keep them off the stack
    if (!loadToolScene(scene, args.positional[0], archive, error)) return fail(error);
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
    return writeSnapshot(out, width, height, rgb);
}

} // namespace

int runSnapshotCommand(int argc, char** argv) {
    if (argc < 1) return usage("a subcommand is missing");
    if (!std::strcmp(argv[0], "--help") || !std::strcmp(argv[0], "-h")) return printHelp(kUsage);
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // headless unless asked otherwise
    if (!std::strcmp(argv[0], "options")) return snapshotOptions(argc - 1, argv + 1);
    if (!std::strcmp(argv[0], "scene")) return snapshotScene(argc - 1, argv + 1);
    return usage("unknown subcommand (options or scene)");
}

} // namespace kestrune
