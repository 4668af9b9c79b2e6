// The Direct3D backend over the software device, as the show and the tools install it.
#pragma once

#include "render/direct3d/soft/soft_device.h"
#include "render/table/render_table.h"

namespace kestrune {

// The process-wide software device, presenting through the platform layer's output window.
SoftDirectDrawSystem& platformSoftDevice();

// Points the Direct3D backend at the software device and fills the table with its entry points.
void fillSoftDirect3DBackend(RenderBackend& table);

} // namespace kestrune
