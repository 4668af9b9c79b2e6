// A backend that draws nothing and records every entry-point call with its arguments, for tests
// and tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mesh/mesh.h"
#include "render/table/render_table.h"

namespace kestrune {

enum class EntryPoint : uint8_t {
    OpenDisplay,
    CloseDisplay,
    SetViewRect,
    ToggleFullscreen,
    LoadTexture,
    DrawPolygon,
    BeginFrame,
    EndFrame,
    SpotFlare,
    PointFlare,
    SetTranslucent,
    BeginScene,
    EndScene,
};
constexpr int kEntryPointCount = 13;

// The entry point's name as the table spells it ("drawPolygon").
const char* entryPointName(EntryPoint entry);

// One corner of a drawn polygon as the backend saw it.
struct RecordedVertex {
    uint16_t point; // index into the object's points
    Vec3 cameraPosition;
    Vec3 cameraNormal;
    int32_t litColor[3]; // 0..255
};

struct RecordedCall {
    EntryPoint entry;
    // openDisplay: width, height; setViewRect: left, top, right, bottom; setTranslucent: the flag;
    // loadTexture: the mipmap flag, then the index returned.
    int32_t args[4];
    void* instance;                     // openDisplay
    WindowProcedure procedure;          // openDisplay
    char textureName[kTextureNameSize]; // loadTexture, cut to fit
    const Mesh* object;                 // drawPolygon
    int32_t polygonIndex;         // drawPolygon: index in the object's polygons, -1 if not one
    uint8_t flags;                // drawPolygon: PolyFlag bits
    uint8_t vertexCount;          // drawPolygon: as the polygon states it
    uint32_t firstVertex;         // drawPolygon: index of its first RecordedVertex
    uint32_t recordedVertexCount; // drawPolygon: corners recorded (indices past the mesh skipped)
    const SceneLight* light;      // spotFlare, pointFlare
    Vec3 lightPosition;           // spotFlare, pointFlare: the light's camera-space position
};

struct Recording {
    bool enabled = true; // off: calls are only counted
    std::vector<RecordedCall> calls;
    std::vector<RecordedVertex> vertices;
    uint64_t callCounts[kEntryPointCount] = {}; // every call, recorded or not
    // loadTexture decodes each new image to fill its slot's size (the pixels are dropped);
    // otherwise slots get names only, with width and height 0.
    bool decodeTextures = false;
};

inline Recording recording;

// Writes the recording backend's entry points into the table, in the table's order.
void fillRecordingBackend(RenderBackend& table);

// Forgets the recorded calls and counts, keeping the buffers' capacity.
void clearRecording();

// Makes room so that recording that many calls and corners allocates nothing.
void reserveRecording(size_t calls, size_t vertices);

// The corners recorded for one drawPolygon call.
std::span<const RecordedVertex> recordedVertices(const RecordedCall& call);

} // namespace kestrune
