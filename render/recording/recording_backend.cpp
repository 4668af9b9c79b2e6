// The recording backend's entry points.
#include "render/recording/recording_backend.h"

#include <algorithm>
#include <cstring>

#include "mesh/texture.h"
#include "scene/scene.h"

namespace kestrune {

namespace {

RecordedCall* beginCall(EntryPoint entry) {
    ++recording.callCounts[static_cast<int>(entry)];
    if (!recording.enabled) return nullptr;
    RecordedCall& call = recording.calls.emplace_back();
    std::memset(&call, 0, sizeof call);
    call.entry = entry;
    call.polygonIndex = -1;
    return &call;
}

void recordOpenDisplay(int width, int height, void* instance, WindowProcedure procedure) {
    if (RecordedCall* call = beginCall(EntryPoint::OpenDisplay)) {
        call->args[0] = width;
        call->args[1] = height;
        call->instance = instance;
        call->procedure = procedure;
    }
    outputSize = {width, height, 0};
}

void recordCloseDisplay() {
    beginCall(EntryPoint::CloseDisplay);
}

void recordSetViewRect(int left, int top, int right, int bottom) {
    if (RecordedCall* call = beginCall(EntryPoint::SetViewRect)) {
        call->args[0] = left;
        call->args[1] = top;
        call->args[2] = right;
        call->args[3] = bottom;
    }
}

void recordToggleFullscreen() {
    beginCall(EntryPoint::ToggleFullscreen);
}

// Decoding fills the slot's size and discards the pixels.
void discardUpload(uint16_t, TextureSlot&, const uint8_t*, uint8_t) {}

uint16_t recordLoadTexture(const char* fileName, uint8_t mipmap) {
    if (!fileName) fileName = "";
    uint16_t index;
    if (recording.decodeTextures) {
        index = loadTextureShared(fileName, mipmap, discardUpload);
    } else {
        // The shared rule without the decoding: a name already loaded gets its slot again; a full
        // table or a name too long for a slot gets index 0 and leaves the table as it is.
        int found = findTexture(fileName);
        if (found >= 0) {
            index = static_cast<uint16_t>(found);
        } else if (std::strlen(fileName) >= kTextureNameSize || textureTable.count < 0 ||
                   textureTable.count >= kTextureSlotCount) {
            index = 0;
        } else {
            index = static_cast<uint16_t>(textureTable.count++);
            TextureSlot& slot = textureTable.slots[index];
            std::memset(&slot, 0, sizeof slot);
            std::strcpy(slot.name, fileName);
            slot.bitsPerPixel = 24;
        }
    }
    if (RecordedCall* call = beginCall(EntryPoint::LoadTexture)) {
        call->args[0] = mipmap;
        call->args[1] = index;
        std::strncpy(call->textureName, fileName, kTextureNameSize - 1);
    }
    return index;
}

void recordDrawPolygon(const Mesh& object, const MeshPolygon& polygon) {
    RecordedCall* call = beginCall(EntryPoint::DrawPolygon);
    if (!call) return;
    call->object = &object;
    if (!object.polygons.empty() && &polygon >= object.polygons.data() &&
        &polygon < object.polygons.data() + object.polygons.size())
        call->polygonIndex = static_cast<int32_t>(&polygon - object.polygons.data());
    call->flags = polygon.flags;
    call->vertexCount = polygon.vertexCount;
    call->firstVertex = static_cast<uint32_t>(recording.vertices.size());
    // Corners beyond the stored indices, or naming a point past the live points, are left out.
    size_t corners = std::min<size_t>(polygon.vertexCount, polygon.vertices.size());
    size_t livePoints = std::min<size_t>(object.pointCount, object.points.size());
    for (size_t k = 0; k < corners; ++k) {
        uint16_t index = polygon.vertices[k];
        if (index >= livePoints) continue;
        const MeshPoint& point = object.points[index];
        RecordedVertex& vertex = recording.vertices.emplace_back();
        vertex.point = index;
        vertex.cameraPosition = point.cameraPosition;
        vertex.cameraNormal = point.cameraNormal;
        std::memcpy(vertex.litColor, point.litColor, sizeof vertex.litColor);
    }
    call->recordedVertexCount =
        static_cast<uint32_t>(recording.vertices.size() - call->firstVertex);
}

void recordBeginFrame() {
    beginCall(EntryPoint::BeginFrame);
}
void recordEndFrame() {
    beginCall(EntryPoint::EndFrame);
}

void recordFlare(EntryPoint entry, const SceneLight& light) {
    if (RecordedCall* call = beginCall(entry)) {
        call->light = &light;
        call->lightPosition = light.cameraPosition;
    }
}

void recordSpotFlare(const SceneLight& light) {
    recordFlare(EntryPoint::SpotFlare, light);
}
void recordPointFlare(const SceneLight& light) {
    recordFlare(EntryPoint::PointFlare, light);
}

void recordSetTranslucent(uint8_t on) {
    if (RecordedCall* call = beginCall(EntryPoint::SetTranslucent)) call->args[0] = on;
}

void recordBeginScene() {
    beginCall(EntryPoint::BeginScene);
}
void recordEndScene() {
    beginCall(EntryPoint::EndScene);
}

} // namespace

const char* entryPointName(EntryPoint entry) {
    static const char* const kNames[kEntryPointCount] = {
        "openDisplay",    "closeDisplay", "setViewRect", "toggleFullscreen", "loadTexture",
        "drawPolygon",    "beginFrame",   "endFrame",    "spotFlare",        "pointFlare",
        "setTranslucent", "beginScene",   "endScene",
    };
    int index = static_cast<int>(entry);
    return index >= 0 && index < kEntryPointCount ? kNames[index] : "unknown";
}

void fillRecordingBackend(RenderBackend& table) {
    table.openDisplay = recordOpenDisplay;
    table.closeDisplay = recordCloseDisplay;
    table.setViewRect = recordSetViewRect;
    table.toggleFullscreen = recordToggleFullscreen;
    table.loadTexture = recordLoadTexture;
    table.drawPolygon = recordDrawPolygon;
    table.beginFrame = recordBeginFrame;
    table.endFrame = recordEndFrame;
    table.spotFlare = recordSpotFlare;
    table.pointFlare = recordPointFlare;
    table.setTranslucent = recordSetTranslucent;
    table.beginScene = recordBeginScene;
    table.endScene = recordEndScene;
}

void clearRecording() {
    recording.calls.clear();
    recording.vertices.clear();
    std::memset(recording.callCounts, 0, sizeof recording.callCounts);
}

void reserveRecording(size_t calls, size_t vertices) {
    recording.calls.reserve(calls);
    recording.vertices.reserve(vertices);
}

std::span<const RecordedVertex> recordedVertices(const RecordedCall& call) {
    if (call.entry != EntryPoint::DrawPolygon ||
        call.firstVertex + size_t{call.recordedVertexCount} > recording.vertices.size())
        return {};
    return {recording.vertices.data() + call.firstVertex, call.recordedVertexCount};
}

} // namespace kestrune
