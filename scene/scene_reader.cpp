// The scene text reader: keyword groups, section state, record creation and link resolution.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/motion_reader.h"
#include "scene/scene.h"
#include "scene/tokens.h"

namespace kestrune {

namespace {

enum class Section { None, Object, Bone, Light };

// 1-based numbers from the file, 0 meaning none; scratch of one load.
struct LinkTables {
    int32_t objectParent[kMaxSceneObjects] = {};
    int32_t morphTarget[kMaxSceneObjects] = {};
    int32_t lightParent[kMaxSceneLights] = {};
    int32_t boneParent[kMaxBonedObjects][kMaxBonesPerObject] = {};
};

// Records beyond the limits (and bones with no object to hold them) are still read, into these
// scratch records, so the token stream advances exactly as for a kept record; then they are
// dropped.
struct Scratch {
    SceneObject object;
    Bone bone;
    SceneLight light;
    int32_t number = 0;
};

// n names an element when it lies in 1..count; anything else (0, negative, too large) is none.
bool inRange(int32_t n, size_t count) {
    return n >= 1 && static_cast<size_t>(n) <= count;
}

// Cuts bone links so that no chain holds more than kMaxBoneAncestors ancestors or loops: walking
// up from each bone in array order, the link that would revisit a bone of the walk, or that
// would add a 26th ancestor, is removed (that ancestor becomes a root).
void limitBoneChains(SceneObject& object) {
    for (Bone& bone : object.bones) {
        bool seen[kMaxBonesPerObject] = {};
        seen[&bone - object.bones.data()] = true;
        Bone* current = &bone;
        int ancestors = 0;
        while (current->parent) {
            const size_t parentIndex = static_cast<size_t>(current->parent - object.bones.data());
            if (ancestors == kMaxBoneAncestors || seen[parentIndex]) {
                current->parent = nullptr;
                break;
            }
            seen[parentIndex] = true;
            current = current->parent;
            ++ancestors;
        }
    }
}

void resolveLinks(Scene& scene, const LinkTables& links) {
    const size_t objectCount = scene.objects.size();
    for (size_t i = 0; i < objectCount; ++i) {
        SceneObject& object = scene.objects[i];
        const int32_t parent = links.objectParent[i];
        object.parent = inRange(parent, objectCount) ? &scene.objects[parent - 1] : nullptr;
        const int32_t target = links.morphTarget[i];
        if (inRange(target, objectCount)) prepareMorph(object, scene.objects[target - 1]);
        // Owners are set here: the object array may have moved while the file was read.
        for (size_t j = 0; j < object.bones.size(); ++j) {
            Bone& bone = object.bones[j];
            bone.owner = &object;
            const int32_t n = i < kMaxBonedObjects ? links.boneParent[i][j] : 0;
            bone.parent = inRange(n, object.bones.size()) ? &object.bones[n - 1] : nullptr;
        }
        limitBoneChains(object);
    }
    for (size_t i = 0; i < scene.lights.size(); ++i) {
        const int32_t parent = links.lightParent[i];
        scene.lights[i].parent =
            inRange(parent, objectCount) ? &scene.objects[parent - 1] : nullptr;
    }
}

void readThreeFloats(TokenReader& reader, Vec3& v) {
    readFloat(reader, v.x);
    readFloat(reader, v.y);
    readFloat(reader, v.z);
}

// The motion's name token is read and ignored, then the block.
void readNamedMotion(TokenReader& reader, Motion& motion) {
    std::string_view name;
    readToken(reader, name);
    readMotion(reader, motion);
}

} // namespace

SceneObject* addObject(Scene& scene, const char* path, ObjectLoader loadObjectFile) {
    // Objects past the 256th have no slot in the link tables: they are not added.
    if (scene.objects.size() >= static_cast<size_t>(kMaxSceneObjects)) return nullptr;
    SceneObject& object = scene.objects.emplace_back();
    scene.objectCount = static_cast<int32_t>(scene.objects.size());
    if (!path) {
        std::memcpy(object.name, "NULL", 5);
        return &object;
    }
    // Only a backslash separates folders in the file's paths; a slash stays part of the name.
    std::string_view base(path);
    const size_t slash = base.rfind('\\');
    if (slash != std::string_view::npos) base.remove_prefix(slash + 1);
    base = base.substr(0, base.find('.'));
    std::string fileName(base);
    fileName += ".lwo";
    // A name longer than the 27-character field is stored cut short, but the object file is
    // still looked up under its whole name.
    const size_t kept = std::min(fileName.size(), static_cast<size_t>(kObjectNameSize - 1));
    std::memcpy(object.name, fileName.data(), kept);
    object.name[kept] = '\0';
    if (fileName == "mcube.lwo" || fileName == "mball.lwo") {
        object.isMetaball = 1; // the metaball surface supplies the mesh; no file is read
        return &object;
    }
    // The loader may rewrite the extension (".3d" fallback) in its buffer: it gets a copy, so
    // the object keeps the name the scene gave it.
    std::vector<char> buffer(fileName.begin(), fileName.end());
    buffer.resize(fileName.size() + 8, '\0');
    if (loadObjectFile) loadObjectFile(buffer.data(), object.mesh);
    return &object;
}

Bone* addBone(SceneObject& object) {
    if (object.bones.size() >= static_cast<size_t>(kMaxBonesPerObject)) return nullptr;
    const size_t points = std::min<size_t>(object.mesh.pointCount, object.mesh.points.size());
    if (object.bones.empty()) {
        object.weightSums.assign(points, 0.0f);
        object.restPoints.assign(object.mesh.points.begin(), object.mesh.points.begin() + points);
    }
    Bone& bone = object.bones.emplace_back();
    bone.weights.assign(points, 0.0f);
    bone.owner = &object;
    object.boneCount = static_cast<uint16_t>(object.bones.size());
    return &bone;
}

SceneLight* addLight(Scene& scene) {
    if (scene.lights.size() >= static_cast<size_t>(kMaxSceneLights)) return nullptr;
    SceneLight& light = scene.lights.emplace_back();
    scene.lightCount = static_cast<int32_t>(scene.lights.size());
    return &light;
}

void prepareMorph(SceneObject& base, const SceneObject& target) {
    const size_t points = std::min<size_t>(base.mesh.pointCount, base.mesh.points.size());
    const size_t targetPoints = std::min<size_t>(target.mesh.pointCount, target.mesh.points.size());
    std::vector<MorphDelta> deltas(points, MorphDelta{});
    // A target with fewer points than the base: the points it lacks get zero deltas and keep
    // their base shape, so every base point has a delta.
    for (size_t k = 0; k < points && k < targetPoints; ++k) {
        const MeshPoint& from = base.mesh.points[k];
        const MeshPoint& to = target.mesh.points[k];
        deltas[k].position = {to.position.x - from.position.x, to.position.y - from.position.y,
                              to.position.z - from.position.z};
        deltas[k].normal = {to.normal.x - from.normal.x, to.normal.y - from.normal.y,
                            to.normal.z - from.normal.z};
    }
    base.restPoints.assign(base.mesh.points.begin(), base.mesh.points.begin() + points);
    base.morphDeltas = std::move(deltas);
}

void loadSceneText(Scene& scene, std::string_view text, ObjectLoader loadObjectFile) {
    scene.objectCount = 0;
    scene.objects.clear();
    scene.lightCount = 0;
    scene.lights.clear();

    TokenReader reader{text, 0};
    // Each search goes on from where the previous one stopped; a missing keyword runs to the end
    // and the fields after it keep their values.
    if (findToken(reader, "PreviewFirstFrame")) readInt(reader, scene.firstFrame);
    if (findToken(reader, "PreviewLastFrame")) readInt(reader, scene.lastFrame);
    if (findToken(reader, "PreviewFrameStep")) readInt(reader, scene.frameStep);
    if (findToken(reader, "FramesPerSecond")) readFloat(reader, scene.framesPerSecond);

    auto links = std::make_unique<LinkTables>();
    auto scratch = std::make_unique<Scratch>();
    reader.position = 0;

    Section section = Section::None;
    int object = -1; // index of the current object; -1: none yet, or dropped (scratch)
    int bone = -1;   // index of the current bone within the current object; -1: scratch
    int light = -1;  // index of the current light; -1: scratch

    auto currentObject = [&]() -> SceneObject& {
        return object >= 0 ? scene.objects[static_cast<size_t>(object)] : scratch->object;
    };
    auto currentBone = [&]() -> Bone& {
        return object >= 0 && bone >= 0
                   ? scene.objects[static_cast<size_t>(object)].bones[static_cast<size_t>(bone)]
                   : scratch->bone;
    };
    auto currentLight = [&]() -> SceneLight& {
        return light >= 0 ? scene.lights[static_cast<size_t>(light)] : scratch->light;
    };
    auto objectParentSlot = [&]() -> int32_t& {
        return object >= 0 ? links->objectParent[object] : scratch->number;
    };
    auto morphTargetSlot = [&]() -> int32_t& {
        return object >= 0 ? links->morphTarget[object] : scratch->number;
    };

    std::string_view token;
    while (readToken(reader, token)) {
        // Group A (any section).
        if (token == "AddNullObject" || token == "LoadObject") {
            std::string path;
            bool haveRecord = true;
            if (token == "LoadObject") {
                std::string_view pathToken;
                haveRecord = readToken(reader, pathToken); // none at the end of the text
                path.assign(pathToken);
            }
            SceneObject* added = nullptr;
            if (haveRecord)
                added = addObject(scene, token == "LoadObject" ? path.c_str() : nullptr,
                                  loadObjectFile);
            object = added ? static_cast<int>(scene.objects.size()) - 1 : -1;
            if (!added) scratch->object = SceneObject{};
            bone = -1;
            section = Section::Object;
        }

        // Group B (object section).
        if (section == Section::Object) {
            if (token == "ObjectMotion") {
                readNamedMotion(reader, currentObject().motion);
            } else if (token == "ParentObject") {
                readInt(reader, objectParentSlot());
            } else if (token == "BoneFalloffType") {
                readInt(reader, currentObject().boneFalloffType);
            } else if (token == "PivotPoint") {
                readThreeFloats(reader, currentObject().pivot);
            } else if (token == "ObjDissolve") {
                readEnvelope(reader, currentObject().dissolve);
                currentObject().hasDissolve = 1;
            } else if (token == "Metamorph") {
                readEnvelope(reader, currentObject().metamorph);
                currentObject().hasMetamorph = 1;
            } else if (token == "MorphTarget") {
                readInt(reader, morphTargetSlot());
            }
        }

        // Group C: "AddBone" (any section), then the bone section.
        if (token == "AddBone") {
            // Bones go only on the first 128 objects, at most 128 each; a bone before any object,
            // on a dropped object or past those limits is read into scratch and dropped.
            bone = -1;
            if (object >= 0 && object < kMaxBonedObjects &&
                addBone(scene.objects[static_cast<size_t>(object)]))
                bone =
                    static_cast<int>(scene.objects[static_cast<size_t>(object)].bones.size()) - 1;
            if (bone < 0) scratch->bone = Bone{};
            section = Section::Bone;
        }
        if (section == Section::Bone) {
            Bone& b = currentBone();
            if (token == "BoneActive") {
                readInt(reader, b.active);
            } else if (token == "BoneRestPosition") {
                readThreeFloats(reader, b.restPosition);
            } else if (token == "BoneRestDirection") {
                readThreeFloats(reader, b.restDirection);
            } else if (token == "BoneStrength") {
                readFloat(reader, b.strength);
            } else if (token == "BoneMotion") {
                readNamedMotion(reader, b.motion);
            } else if (token == "ParentObject") {
                readInt(reader, object >= 0 && bone >= 0 ? links->boneParent[object][bone]
                                                         : scratch->number);
            } else if (token == "BoneLimitedRange") {
                b.limitedRange = 1;
            } else if (token == "BoneMinRange") {
                readFloat(reader, b.minRange);
            } else if (token == "BoneMaxRange") {
                readFloat(reader, b.maxRange);
            } else if (token == "ScaleBoneStrength") {
                readInt(reader, b.scaleStrength);
            } else if (token == "BoneRestLength") {
                readFloat(reader, b.restLength);
            } else if (token == "ObjDissolve") {
                readEnvelope(reader, currentObject().dissolve);
                currentObject().hasDissolve = 1;
            } else if (token == "Metamorph") {
                readEnvelope(reader, currentObject().metamorph);
                currentObject().hasMetamorph = 1;
            } else if (token == "MorphTarget") {
                readInt(reader, morphTargetSlot());
            }
        }

        // Group D: "AddLight" (any section), then the light section.
        if (token == "AddLight") {
            // Lights past the 256th are read into scratch and dropped.
            light = addLight(scene) ? static_cast<int>(scene.lights.size()) - 1 : -1;
            if (light < 0) scratch->light = SceneLight{};
            section = Section::Light;
        }
        if (section == Section::Light) {
            SceneLight& l = currentLight();
            if (token == "LightMotion") {
                readNamedMotion(reader, l.motion);
            } else if (token == "LightType") {
                readInt(reader, l.type);
            } else if (token == "LensFlare") {
                readInt(reader, l.lensFlare);
            } else if (token == "LightColor") {
                // The file's 0..255 becomes 0..63; a value that fails to read is left as it was.
                for (int32_t& channel : l.color)
                    if (readInt(reader, channel)) channel /= 4;
            } else if (token == "LgtIntensity") {
                readEnvelope(reader, l.intensity);
            } else if (token == "FlareIntensity") {
                readEnvelope(reader, l.flareIntensity);
            } else if (token == "ParentObject") {
                readInt(reader, light >= 0 ? links->lightParent[light] : scratch->number);
            }
        }

        // Group E (any section).
        if (token == "ZoomFactor") {
            readEnvelope(reader, scene.camera.zoom);
        } else if (token == "CameraMotion") {
            readNamedMotion(reader, scene.camera.motion);
        }
    }

    resolveLinks(scene, *links);
    for (SceneObject& o : scene.objects)
        if (!o.bones.empty()) computeBoneWeights(o);
}

} // namespace kestrune
