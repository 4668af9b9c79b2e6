// The renderer selection and the start action of the options window.
#include "render/select_backend.h"

#include <cassert>

namespace kestrune {

void selectBackend(int kind) {
    BackendFiller filler = nullptr;
    if (kind == BackendOpenGL) filler = backendFillers.openGL;
    if (kind == BackendDirect3D) filler = backendFillers.direct3D;
    if (!filler) return;
    filler(renderBackend);
    assert(!firstEmptySlot(renderBackend) && "a backend filler left a slot of the table empty");
}

void startShow(const StartControls& controls) {
    auto on = [&](StartControl control) {
        return controls.isOn && controls.isOn(controls.context, control);
    };
    if (on(StartControl::OpenGL)) selectBackend(BackendOpenGL);
    if (on(StartControl::Direct3D)) selectBackend(BackendDirect3D);
    if (on(StartControl::Bluescreen)) {
        endProcess(0);
        return; // only reached when a test has replaced endProcess
    }

    renderOptions.mipmapping = on(StartControl::Mipmapping) ? 1 : 0;
    renderOptions.perspectiveCorrection = on(StartControl::PerspectiveCorrection) ? 1 : 0;
    renderOptions.fullscreen = on(StartControl::Fullscreen) ? 1 : 0;
    renderOptions.textureFiltering = on(StartControl::TextureFiltering) ? 1 : 0;
    // The Direct3D backend always corrects perspective.
    if (on(StartControl::Direct3D)) renderOptions.perspectiveCorrection = 1;

    // With no renderer chosen (or one this build lacks) the table is still empty: skip the call
    // instead of jumping through a null entry point; the driver then draws nothing.
    for (const ResolutionChoice& choice : kResolutionChoices)
        if (on(choice.control) && renderBackend.openDisplay)
            renderBackend.openDisplay(choice.width, choice.height, controls.instance,
                                      controls.windowProcedure);

    if (controls.destroyOptionsWindow) controls.destroyOptionsWindow(controls.context);
}

} // namespace kestrune
