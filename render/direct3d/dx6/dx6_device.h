// The Direct3D backend's device layer over the real DirectX 6 interfaces (DirectDraw 4,
// Direct3D 3, Direct3D device 3, viewport 3, texture 2), for Windows.
#pragma once

#include "render/direct3d/direct3d_device.h"
#include "render/table/render_table.h"

namespace kestrune {

// The process-wide DirectX 6 device layer: DirectDrawEnumerateExA and DirectDrawCreate.
DirectDrawSystem& directX6System();

// Points the Direct3D backend at DirectX 6 and fills the table with its entry points.
void fillDx6Direct3DBackend(RenderBackend& table);

} // namespace kestrune
