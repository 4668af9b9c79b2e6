// loadObject and its ".3d" fallback: find the object's bytes and hand them to the right reader.
#include <cstring>

#include "archive/content_file.h"
#include "mesh/mesh.h"

namespace kestrune {

void loadObject(char* fileName, Mesh& mesh) {
    freeMesh(mesh);
    if (auto bytes = readContentFile(fileName)) {
        readLwobObject(bytes->data(), bytes->size(), mesh);
        return;
    }
    loadCompactObject(fileName, mesh);
}

void loadCompactObject(char* fileName, Mesh& mesh) {
    freeMesh(mesh);
    // The caller's name is changed in place: from its last '.' on it becomes ".3d". A name
    // without a '.', or whose extension is too short to hold ".3d", is not looked up: writing
    // there would go past the caller's string.
    char* dot = std::strrchr(fileName, '.');
    if (!dot || std::strlen(dot) < 3) return;
    std::memcpy(dot, ".3d", 4);
    if (auto bytes = readContentFile(fileName))
        readCompactObject(bytes->data(), bytes->size(), mesh);
}

} // namespace kestrune
