// The Direct3D backend's polygons: lit vertices with the diffuse rules, the primitive choice,
// Gouraud and flat passes, the sprite of one-point polygons and the reflection pass.
#include <algorithm>

#include "mesh/mesh.h"
#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

namespace {

Direct3DDisplay& d = direct3DDisplay;

constexpr uint32_t kDrawFlags = D3DDP_WAIT | D3DDP_DONOTLIGHT;
constexpr uint32_t kSpriteGrey = 143;

uint32_t rgb(int32_t r, int32_t g, int32_t b) {
    auto channel = [](int32_t c) { return uint32_t(std::clamp(c, 0, 255)); };
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

Direct3DTexture* textureOf(uint16_t index) {
    if (index >= textureTable.count || index >= kTextureSlotCount) return nullptr;
    auto* data = static_cast<Direct3DTextureData*>(textureTable.slots[index].direct3dData);
    return data ? data->texture : nullptr;
}

void draw(uint32_t primitive, uint32_t count, uint32_t shading) {
    d.device->setRenderState(D3DRENDERSTATE_SHADEMODE, shading);
    d.device->drawPrimitive(primitive, D3DFVF_LVERTEX, d.vertices, count, kDrawFlags);
}

void drawSprite(const Vec3& p) {
    const float h = spriteHalfSize;
    const float corners[4][4] = {{p.x - h, p.y + h, 0, 0},
                                 {p.x + h, p.y + h, 1, 0},
                                 {p.x + h, p.y - h, 1, 1},
                                 {p.x - h, p.y - h, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        LitVertex& v = d.vertices[i];
        v = {};
        v.x = corners[i][0];
        v.y = corners[i][1];
        v.z = p.z;
        v.u = corners[i][2];
        v.v = corners[i][3];
        v.diffuse = rgb(kSpriteGrey, kSpriteGrey, kSpriteGrey);
    }
    draw(D3DPT_TRIANGLEFAN, 4, D3DSHADE_GOURAUD);
}

} // namespace

namespace direct3d {

void drawPolygon(const Mesh& object, const MeshPolygon& polygon) {
    if (!d.device) return;
    // A polygon naming a point the object does not have, or with fewer corners than it claims,
    // is not drawn rather than read past the arrays.
    const int n = polygon.vertexCount;
    if (n == 0 || n > kMaxPolygonVertices || polygon.vertices.size() < size_t(n)) return;
    for (int i = 0; i < n; ++i)
        if (polygon.vertices[i] >= object.points.size()) return;
    const bool hasUv = polygon.u.size() >= size_t(n) && polygon.v.size() >= size_t(n);
    const bool textured = polygon.flags & PolyTextured;
    const bool smooth = polygon.flags & PolySmooth;

    d.device->setRenderState(D3DRENDERSTATE_CULLMODE,
                             polygon.flags & PolyDoubleSided ? D3DCULL_NONE : D3DCULL_CCW);

    for (int i = 0; i < n; ++i) {
        const MeshPoint& p = object.points[polygon.vertices[i]];
        LitVertex& v = d.vertices[i];
        v = {};
        v.x = p.cameraPosition.x;
        v.y = p.cameraPosition.y;
        v.z = p.cameraPosition.z;
        v.u = hasUv ? polygon.u[i] : 0;
        v.v = hasUv ? polygon.v[i] : 0;
        int32_t c[3];
        for (int k = 0; k < 3; ++k) {
            int32_t lit = 2 * p.litColor[k];
            c[k] = std::min(255, textured ? lit : polygon.color[k] + lit);
        }
        v.diffuse = rgb(c[0], c[1], c[2]);
    }

    uint32_t primitive = D3DPT_POINTLIST;
    if (polygon.flags & PolyOutline)
        primitive = D3DPT_LINESTRIP; // open: no closing segment
    else if (n > 2)
        primitive = D3DPT_TRIANGLEFAN;
    else if (n == 2)
        primitive = D3DPT_LINELIST;

    if (textured) {
        d.device->setTexture(0, textureOf(polygon.texture));
        if (smooth) {
            if (primitive == D3DPT_POINTLIST)
                drawSprite(object.points[polygon.vertices[0]].cameraPosition);
            else
                draw(primitive, uint32_t(n), D3DSHADE_GOURAUD);
        } else {
            draw(primitive, uint32_t(n), D3DSHADE_FLAT);
        }
    } else {
        d.device->setTexture(0, nullptr);
        if (smooth) draw(primitive, uint32_t(n), D3DSHADE_GOURAUD);
        if (polygon.flags & PolyFlat) draw(primitive, uint32_t(n), D3DSHADE_FLAT);
    }

    if (polygon.flags & PolyReflection) {
        setTranslucent(1);
        d.device->setRenderState(D3DRENDERSTATE_ZBIAS, 1);
        d.device->setTexture(0, textureOf(polygon.reflectionTexture));
        for (int i = 0; i < n; ++i) {
            const MeshPoint& p = object.points[polygon.vertices[i]];
            d.vertices[i].u = (p.cameraNormal.x + 1) * 0.5f;
            d.vertices[i].v = (p.cameraNormal.y + 1) * 0.5f;
        }
        d.device->drawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_LVERTEX, d.vertices, uint32_t(n),
                                kDrawFlags);
        setTranslucent(0);
        d.device->setRenderState(D3DRENDERSTATE_ZBIAS, 0);
    }
}

} // namespace direct3d

} // namespace kestrune
