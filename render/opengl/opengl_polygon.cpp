// The OpenGL backend's textures and polygons: the four colouring schemes, the reflection pass and
// the sprite of one-point polygons, in immediate mode.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "mesh/mesh.h"
#include "mesh/texture.h"
#include "render/opengl/opengl_backend.h"

namespace kestrune {

namespace {

void uploadTexture(uint16_t, TextureSlot& slot, const uint8_t* pixels, uint8_t mipmap) {
    glGenTextures(1, &slot.glTextureName);
    glBindTexture(GL_TEXTURE_2D, slot.glTextureName);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (mipmap == 1 && renderOptions.textureFiltering) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    // Rows of three-byte pixels are tightly packed: without this, images whose width is not a
    // multiple of four would be read skewed and past the end of the buffer.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, slot.width, slot.height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}

GLenum primitive(int n, bool outline) {
    if (outline) return GL_LINE_LOOP;
    if (n >= 3) return GL_POLYGON;
    return n == 2 ? GL_LINES : GL_POINTS;
}

void bindTexture(uint16_t index) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D,
                  index < textureTable.count ? textureTable.slots[index].glTextureName : 0);
}

// Textured and reflection passes limit the lit colour to 127 and keep the limited value, so
// later polygons sharing the point see it limited too.
void limitAndColor(MeshPoint& point) {
    for (int32_t& c : point.litColor) c = std::min(c, 127);
    glColor3b(static_cast<GLbyte>(point.litColor[0]), static_cast<GLbyte>(point.litColor[1]),
              static_cast<GLbyte>(point.litColor[2]));
}

struct Light {
    float rgb[3];
};

// The mean lit colour of the polygon's corners, 0..255.
Light meanLight(const std::vector<MeshPoint>& points, const MeshPolygon& polygon, int n) {
    Light mean{{0, 0, 0}};
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) mean.rgb[c] += float(points[polygon.vertices[i]].litColor[c]);
    for (float& c : mean.rgb) c /= float(n);
    return mean;
}

void vertex(const MeshPoint& point) {
    glVertex3f(point.cameraPosition.x, point.cameraPosition.y, -point.cameraPosition.z);
}

void drawSprite(const Vec3& p) {
    float h = spriteHalfSize;
    glBlendFunc(GL_ONE, GL_ONE);
    glBegin(GL_POLYGON);
    glColor3b(127, 127, 127);
    glTexCoord2f(0, 0);
    glVertex3f(p.x - h, p.y + h, -p.z);
    glColor3b(127, 127, 127);
    glTexCoord2f(1, 0);
    glVertex3f(p.x + h, p.y + h, -p.z);
    glColor3b(127, 127, 127);
    glTexCoord2f(1, 1);
    glVertex3f(p.x + h, p.y - h, -p.z);
    glColor3b(127, 127, 127);
    glTexCoord2f(0, 1);
    glVertex3f(p.x - h, p.y - h, -p.z);
    glEnd();
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
}

} // namespace

namespace opengl {

uint16_t loadTexture(const char* fileName, uint8_t mipmap) {
    return loadTextureShared(fileName, mipmap, uploadTexture);
}

void drawPolygon(const Mesh& object, const MeshPolygon& polygon) {
    // A polygon naming a point the object does not have, or with fewer corners than it claims,
    // is not drawn rather than read past the arrays.
    int n = polygon.vertexCount;
    if (n == 0 || polygon.vertices.size() < size_t(n)) return;
    for (int i = 0; i < n; ++i)
        if (polygon.vertices[i] >= object.points.size()) return;
    bool hasUv = polygon.u.size() >= size_t(n) && polygon.v.size() >= size_t(n);
    auto u = [&](int i) { return hasUv ? polygon.u[i] : 0.0f; };
    auto v = [&](int i) { return hasUv ? polygon.v[i] : 0.0f; };
    // The lit colours are per-frame working data of the object, which the textured passes limit
    // in place; the table hands the object over as const.
    auto& points = const_cast<std::vector<MeshPoint>&>(object.points);
    auto point = [&](int i) -> MeshPoint& { return points[polygon.vertices[i]]; };

    glEnable(GL_LINE_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    if (polygon.flags & PolyDoubleSided) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
    }
    GLenum shape = primitive(n, polygon.flags & PolyOutline);

    if (polygon.flags & PolyTextured) {
        bindTexture(polygon.texture);
        if (polygon.flags & PolySmooth) {
            if (n == 1) {
                drawSprite(point(0).cameraPosition);
            } else {
                glBegin(shape);
                for (int i = 0; i < n; ++i) {
                    limitAndColor(point(i));
                    glTexCoord2f(u(i), v(i));
                    vertex(point(i));
                }
                glEnd();
            }
        } else {
            Light mean = meanLight(points, polygon, n);
            glColor3f(mean.rgb[0] / 256, mean.rgb[1] / 256, mean.rgb[2] / 256);
            glBegin(shape);
            for (int i = 0; i < n; ++i) {
                glTexCoord2f(u(i), v(i));
                vertex(point(i));
            }
            glEnd();
        }
    } else {
        glDisable(GL_TEXTURE_2D);
        if (polygon.flags & PolySmooth) {
            glBegin(shape);
            for (int i = 0; i < n; ++i) {
                const MeshPoint& p = point(i);
                float rgb[3];
                for (int c = 0; c < 3; ++c)
                    rgb[c] = std::min(float(polygon.color[c] + p.litColor[c] / 2) / 256, 1.0f);
                glColor3f(rgb[0], rgb[1], rgb[2]);
                vertex(p);
            }
            glEnd();
        }
        if (polygon.flags & PolyFlat) {
            Light mean = meanLight(points, polygon, n);
            float rgb[3];
            for (int c = 0; c < 3; ++c) rgb[c] = (mean.rgb[c] / 2 + polygon.color[c]) / 256;
            glColor3f(rgb[0], rgb[1], rgb[2]);
            glBegin(shape);
            for (int i = 0; i < n; ++i) vertex(point(i));
            glEnd();
        }
    }

    if (polygon.flags & PolyReflection) {
        setTranslucent(1);
        bindTexture(polygon.reflectionTexture);
        glBegin(primitive(n, false));
        for (int i = 0; i < n; ++i) {
            MeshPoint& p = point(i);
            limitAndColor(p);
            glTexCoord2f((p.cameraNormal.x + 1) * 0.5f, (p.cameraNormal.y + 1) * 0.5f);
            vertex(p);
        }
        glEnd();
        setTranslucent(0);
    }
}

} // namespace opengl

} // namespace kestrune
