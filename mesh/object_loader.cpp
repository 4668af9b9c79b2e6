// loadObject and its ".3d" fallback: find the object's bytes and hand them to the right reader.
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/content_file.h"
#include "mesh/mesh.h"
#include "mesh/surface.h"

namespace kestrune {
namespace {

// What one load gave: the mesh, the caller's name as the load left it, and the surface table
// before and after. The LWOB reader reads and writes the process-wide surface table (fields an
// object does not set keep the previous object's values), so a load is only the same load again
// when the table is as it was before that load.
struct LoadedObject {
    explicit LoadedObject(const SurfaceTable& table) : before(table) {}
    SurfaceTable before;
    std::optional<SurfaceTable> after; // the table it left, where that differs from before
    Mesh mesh;
    std::string finalName;
    bool read; // a reader ran and set mesh.refusal; otherwise the caller's refusal stays
    std::shared_ptr<const std::vector<uint8_t>> lwob; // the ".lwo" bytes it read; null: none
};

struct ReuseState {
    int holders = 0;
    std::unordered_map<std::string, std::vector<std::unique_ptr<LoadedObject>>> loaded;
};

ReuseState& reuse() {
    static ReuseState state;
    return state;
}

bool sameTable(const SurfaceTable& a, const SurfaceTable& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Both return true when a reader ran.
bool loadCompactFresh(char* fileName, Mesh& mesh) {
    freeMesh(mesh);
    // The caller's name is changed in place: from its last '.' on it becomes ".3d". A name
    // without a '.', or whose extension is too short to hold ".3d", is not looked up: writing
    // there would go past the caller's string.
    char* dot = std::strrchr(fileName, '.');
    if (!dot || std::strlen(dot) < 3) return false;
    std::memcpy(dot, ".3d", 4);
    auto bytes = readContentFile(fileName);
    if (!bytes) return false;
    readCompactObject(bytes->data(), bytes->size(), mesh);
    return true;
}

// lwob: the ".lwo" file's bytes when an earlier load of the name read them, else set here when
// the file is found.
bool loadObjectFresh(char* fileName, Mesh& mesh, std::shared_ptr<const std::vector<uint8_t>>& lwob) {
    freeMesh(mesh);
    if (!lwob)
        if (auto bytes = readContentFile(fileName))
            lwob = std::make_shared<const std::vector<uint8_t>>(std::move(*bytes));
    if (lwob) {
        readLwobObject(lwob->data(), lwob->size(), mesh);
        return true;
    }
    return loadCompactFresh(fileName, mesh);
}

} // namespace

ObjectReuse::ObjectReuse() {
    ++reuse().holders;
}

ObjectReuse::~ObjectReuse() {
    if (--reuse().holders == 0) reuse().loaded.clear();
}

void loadObject(char* fileName, Mesh& mesh) {
    ReuseState& state = reuse();
    if (state.holders == 0) {
        std::shared_ptr<const std::vector<uint8_t>> lwob;
        loadObjectFresh(fileName, mesh, lwob);
        return;
    }
    std::vector<std::unique_ptr<LoadedObject>>& loads = state.loaded[fileName];
    for (const auto& load : loads) {
        if (!sameTable(load->before, surfaceTable)) continue;
        const Refusal callers = mesh.refusal;
        mesh = load->mesh;
        if (!load->read) mesh.refusal = callers;
        if (load->after) surfaceTable = *load->after;
        // The same bytes the first load left: its name, and the terminator it wrote.
        std::memcpy(fileName, load->finalName.c_str(), load->finalName.size() + 1);
        return;
    }
    // Read while the table was different: parsed again, from the bytes that load read.
    auto load = std::make_unique<LoadedObject>(surfaceTable);
    if (!loads.empty()) load->lwob = loads.front()->lwob;
    load->read = loadObjectFresh(fileName, mesh, load->lwob);
    if (!sameTable(load->before, surfaceTable)) load->after = surfaceTable;
    load->mesh = mesh;
    load->finalName = fileName;
    loads.push_back(std::move(load));
}

void loadCompactObject(char* fileName, Mesh& mesh) {
    loadCompactFresh(fileName, mesh);
}

} // namespace kestrune
