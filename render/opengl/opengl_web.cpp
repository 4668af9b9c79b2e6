// The GL 1.1 / GLU calls of the backend that emscripten's legacy GL emulation lacks or takes
// differently, written over the calls it has (web build only): glColor3b, gluBuild2DMipmaps, and
// glBegin and glHint (through opengl_web.h).
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The largest power of two not above size, as GLU picks the base level's size.
int powerOfTwoBelow(int size) {
    int power = 1;
    while (power * 2 <= size) power *= 2;
    return power;
}

// Area-weighted scaling of a packed image, as GLU's scale step averages the source pixels each
// destination pixel covers.
std::vector<uint8_t> scaleImage(const uint8_t* in, int width, int height, int channels,
                                int newWidth, int newHeight) {
    std::vector<uint8_t> out(static_cast<size_t>(newWidth) * newHeight * channels);
    const float sx = float(width) / float(newWidth), sy = float(height) / float(newHeight);
    std::vector<float> sum(channels);
    for (int y = 0; y < newHeight; ++y) {
        const float top = y * sy, bottom = top + sy;
        for (int x = 0; x < newWidth; ++x) {
            const float left = x * sx, right = left + sx;
            std::fill(sum.begin(), sum.end(), 0.0f);
            float area = 0;
            for (int iy = int(top); iy < height && float(iy) < bottom; ++iy) {
                const float h = std::min(bottom, float(iy + 1)) - std::max(top, float(iy));
                for (int ix = int(left); ix < width && float(ix) < right; ++ix) {
                    const float w = std::min(right, float(ix + 1)) - std::max(left, float(ix));
                    const uint8_t* p = in + (static_cast<size_t>(iy) * width + ix) * channels;
                    for (int c = 0; c < channels; ++c) sum[c] += p[c] * w * h;
                    area += w * h;
                }
            }
            uint8_t* q = out.data() + (static_cast<size_t>(y) * newWidth + x) * channels;
            for (int c = 0; c < channels; ++c)
                q[c] = uint8_t(std::clamp(int(sum[c] / area + 0.5f), 0, 255));
        }
    }
    return out;
}

// The next level: each pixel the rounded mean of its 2x2 block; on a side of one pixel the block
// reads that pixel twice, which gives the mean of the pair.
std::vector<uint8_t> halveImage(const std::vector<uint8_t>& in, int width, int height,
                                int channels) {
    const int w = std::max(width / 2, 1), h = std::max(height / 2, 1);
    const int dx = width > 1 ? 1 : 0, dy = height > 1 ? 1 : 0;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * channels);
    auto at = [&](int x, int y, int c) {
        return int(in[(static_cast<size_t>(y) * width + x) * channels + c]);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                const int x0 = 2 * x, y0 = 2 * y;
                const int total = at(x0, y0, c) + at(x0 + dx, y0, c) + at(x0, y0 + dy, c) +
                                  at(x0 + dx, y0 + dy, c);
                out[(static_cast<size_t>(y) * w + x) * channels + c] = uint8_t((total + 2) / 4);
            }
    return out;
}

} // namespace

// Polygons are convex, so a triangle fan draws them; the emulation has no GL_POLYGON.
extern "C" void kestruneWebGlBegin(GLenum mode) {
    glBegin(mode == GL_POLYGON ? GL_TRIANGLE_FAN : mode);
}

// WebGL knows one hint, for mipmap generation; it interpolates with perspective correction
// always, and its points and lines have no smoothing to hint at.
extern "C" void kestruneWebGlHint(GLenum target, GLenum mode) {
    if (target == GL_GENERATE_MIPMAP_HINT) glHint(target, mode);
}

// Signed bytes keep their GL meaning: -128..127 spread over -1..1 as (2c + 1) / 255.
extern "C" void glColor3b(GLbyte red, GLbyte green, GLbyte blue) {
    auto unit = [](GLbyte c) { return (2.0f * float(c) + 1.0f) / 255.0f; };
    glColor3f(unit(red), unit(green), unit(blue));
}

// Only the forms the backend uses: unsigned bytes, RGB or RGBA, tightly packed. The base level
// is scaled to powers of two as GLU does, then halved down to one pixel.
extern "C" GLint gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height,
                                   GLenum format, GLenum type, const void* data) {
    if (type != GL_UNSIGNED_BYTE || (format != GL_RGB && format != GL_RGBA))
        return GLU_INVALID_ENUM;
    if (width < 1 || height < 1 || !data) return GLU_INVALID_VALUE;
    const int channels = format == GL_RGB ? 3 : 4;
    int w = powerOfTwoBelow(width), h = powerOfTwoBelow(height);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    while (maxSize > 0 && (w > maxSize || h > maxSize)) {
        w = std::max(w / 2, 1);
        h = std::max(h / 2, 1);
    }
    std::vector<uint8_t> level =
        scaleImage(static_cast<const uint8_t*>(data), width, height, channels, w, h);
    for (int index = 0;; ++index) {
        // WebGL wants the internal format to equal the format.
        glTexImage2D(target, index, GLint(format), w, h, 0, format, type, level.data());
        if (w == 1 && h == 1) break;
        level = halveImage(level, w, h, channels);
        w = std::max(w / 2, 1);
        h = std::max(h / 2, 1);
    }
    return 0;
}
