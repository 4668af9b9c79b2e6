// Pieces shared by the krv scene subcommands: finding a scene as the show does, JSON of records.
#pragma once

#include <string>

#include "scene/scene.h"
#include "tools/json_writer.h"

namespace kestrune {

// The scene subcommands; each takes the arguments after its name and returns the exit status.
int runSceneDump(int argc, char** argv);
int runSceneCallsCommand(int argc, char** argv); // krv_scene_calls.cpp

// Loads the named scene as the show finds it: a loose file in the working directory first, then
// the archive at archivePath (objects likewise). A missing archive is not created. False, with a
// one-line reason in error, when the scene is in neither place.
bool loadToolScene(Scene& scene, const char* name, const char* archivePath, std::string& error);

// A frame argument: a finite decimal number. False when the text is not one.
bool parseFrame(const char* text, float& frame);

// {"keys", "channels", "lastKeyFrame", "endBehavior"} of a motion or envelope.
void writeMotionSummary(JsonWriter& json, const Motion& motion);

// The nine current channel values of a motion.
void writeMotionValues(JsonWriter& json, const Motion& motion);

// 1-based number of an object, bone or light as the scene file counts them; null for none.
template <typename T> void writeLink(JsonWriter& json, const T* item, const std::vector<T>& all) {
    if (!item) {
        json.null();
        return;
    }
    json.value(static_cast<int64_t>(item - all.data()) + 1);
}

} // namespace kestrune
