// loadObject and its ".3d" fallback: find the object's bytes and hand them to the right reader.
#include <algorithm>
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

// What one load gave: the mesh, the caller's name as the load left it, and the surface table's
// written slots before and after. The LWOB reader reads and writes the process-wide surface
// table (fields an object does not set keep the previous object's values), so a load is only the
// same load again when the table is as it was before that load.
struct LoadedObject {
    std::vector<Surface> before;
    std::optional<std::vector<Surface>> after; // where the table it left differs from before
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

std::vector<Surface> writtenSlots(const SurfaceTable& table) {
    return {table.slots, table.slots + table.writtenSlots};
}

// Whether the table holds these slots, and zeros after them.
bool tableHolds(const SurfaceTable& table, const std::vector<Surface>& slots) {
    static const Surface unwritten{};
    const size_t compared = std::max(slots.size(), size_t(table.writtenSlots));
    for (size_t i = 0; i < compared; ++i) {
        const Surface& want = i < slots.size() ? slots[i] : unwritten;
        if (std::memcmp(&table.slots[i], &want, sizeof want) != 0) return false;
    }
    return true;
}

// Turns a table that holds the slots a load started from into the table that load left: the load
// wrote no slot past those it left, and lowered no count.
void restoreTable(SurfaceTable& table, const std::vector<Surface>& slots) {
    std::copy(slots.begin(), slots.end(), table.slots);
    table.writtenSlots = std::max(table.writtenSlots, int(slots.size()));
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
        if (!tableHolds(surfaceTable, load->before)) continue;
        const Refusal callers = mesh.refusal;
        mesh = load->mesh;
        if (!load->read) mesh.refusal = callers;
        if (load->after) restoreTable(surfaceTable, *load->after);
        // The same bytes the first load left: its name, and the terminator it wrote.
        std::memcpy(fileName, load->finalName.c_str(), load->finalName.size() + 1);
        return;
    }
    // Read while the table was different: parsed again, from the bytes that load read.
    auto load = std::make_unique<LoadedObject>();
    load->before = writtenSlots(surfaceTable);
    if (!loads.empty()) load->lwob = loads.front()->lwob;
    load->read = loadObjectFresh(fileName, mesh, load->lwob);
    if (!tableHolds(surfaceTable, load->before)) load->after = writtenSlots(surfaceTable);
    load->mesh = mesh;
    load->finalName = fileName;
    loads.push_back(std::move(load));
}

void loadCompactObject(char* fileName, Mesh& mesh) {
    loadCompactFresh(fileName, mesh);
}

} // namespace kestrune
