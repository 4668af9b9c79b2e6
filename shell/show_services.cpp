// The show's real services for the driver.
#include <cstdlib>

#include "mesh/metaballs.h"
#include "platform/process.h"
#include "render/frame_renderer.h"
#include "shell/driver.h"
#include "shell/options_window.h"
#include "shell/show_music.h"

namespace kestrune {

DriverServices showServices() {
    DriverServices services;
    services.clock = showClock;
    services.loadScene = loadScene;
    services.drawScene = drawScene;
    services.initMetaballs = initMetaballs;
    services.prepareScene = prepareMetaballObjects;
    services.freeMetaballs = freeMetaballs;
    services.openSound = openShowSound;
    services.prepareMusic = prepareShowMusic;
    services.loadMusic = loadShowMusic;
    services.attachMusic = attachShowMusic;
    services.detachMusic = detachShowMusic;
    services.stopSound = stopShowSound;
    services.peekMessage = peekMessage;
    services.dispatchMessage = dispatchMessage;
    services.postQuitMessage = postQuitMessage;
    services.endProcess = endProcessAtOnce;
    services.runOptionsWindow = runOptionsWindow;
    return services;
}

} // namespace kestrune
