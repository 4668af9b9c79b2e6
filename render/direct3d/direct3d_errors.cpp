// The Direct3D backend's two error reporters ("error.out" and the "Direct3D error!" box) and its
// fixed failure messages.
#include <cstdio>

#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

namespace {

// Every failure ending exits with status 1: a failure must not report success (the show as
// first conceived exited with 0 here).
constexpr int kFailureStatus = 1;

void exitNormally(int status) {
    if (direct3DHost.exitProcess) direct3DHost.exitProcess(status);
}

} // namespace

void formatErrorText(const char* entry, HResult code, uint32_t count, char* text, size_t size) {
    if (entry)
        std::snprintf(text, size, entry, int(count));
    else
        std::snprintf(text, size, "UNKNOWN ERROR CODE:%d ERROR COUNT:%d", int(code), int(count));
}

bool reportDirectDraw(HResult result) {
    uint32_t count = ++direct3DDisplay.directDrawErrorCount;
    if (result >= 0) return true;
    char text[128];
    formatErrorText(directDrawErrorEntry(result), result, count, text, sizeof text);
    // Created anew each time, in text mode.
    if (std::FILE* file = std::fopen(direct3DHost.errorFilePath, "w")) {
        std::fprintf(file, "DDraw error:%s", text);
        std::fclose(file);
    }
    exitNormally(kFailureStatus);
    return false;
}

bool reportDirect3D(HResult result) {
    uint32_t count = ++direct3DDisplay.direct3DErrorCount;
    if (result >= 0) return true;
    char text[128];
    formatErrorText(direct3DErrorEntry(result), result, count, text, sizeof text);
    if (direct3DHost.messageBox)
        direct3DHost.messageBox(direct3DDisplay.window, "Direct3D error!", text);
    exitNormally(kFailureStatus);
    return false;
}

void failWithMessage(const char* caption, const char* text) {
    if (direct3DHost.messageBox) direct3DHost.messageBox(direct3DDisplay.window, caption, text);
    exitNormally(kFailureStatus);
}

} // namespace kestrune
