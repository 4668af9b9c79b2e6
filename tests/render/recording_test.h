// Reading the recording backend's calls back in tests.
#pragma once

#include <string>
#include <vector>

#include "render/recording/recording_backend.h"

namespace kestrune::test {

// Installs the recording backend and starts an empty recording.
inline void useRecordingBackend() {
    renderBackend = {};
    fillRecordingBackend(renderBackend);
    recording.enabled = true;
    recording.decodeTextures = false;
    clearRecording();
}

// The recorded calls in a compact text form: "drawPolygon 0.1" is polygon 1 of the object whose
// mesh is objects[0] of the given list; "setTranslucent 1"; "spotFlare".
inline std::vector<std::string> callSummary(const std::vector<const Mesh*>& objects = {}) {
    std::vector<std::string> lines;
    for (const RecordedCall& call : recording.calls) {
        std::string line = entryPointName(call.entry);
        if (call.entry == EntryPoint::SetTranslucent) line += " " + std::to_string(call.args[0]);
        if (call.entry == EntryPoint::DrawPolygon) {
            int object = -1;
            for (size_t i = 0; i < objects.size(); ++i)
                if (objects[i] == call.object) object = static_cast<int>(i);
            line += " " + std::to_string(object) + "." + std::to_string(call.polygonIndex);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace kestrune::test
