// Procedural images for the show's textures and their baseline JPEG encoding.
#include "content/images.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include <jpeglib.h>

#include "content/font.h"

namespace kestrune {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

uint8_t toByte(float v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

// Smooth value noise on a periodic lattice, so textures tile.
float latticeValue(int x, int y, int period, uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

float smoothNoise(float x, float y, int period, uint32_t seed) {
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    float fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    float a = latticeValue(xi, yi, period, seed), b = latticeValue(xi + 1, yi, period, seed);
    float c = latticeValue(xi, yi + 1, period, seed),
          d = latticeValue(xi + 1, yi + 1, period, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Fractal noise over [0,1)^2 that tiles.
float fractal(float u, float v, int octaves, uint32_t seed) {
    float sum = 0, amplitude = 0.5f;
    int period = 4;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * smoothNoise(u * period, v * period, period, seed + o);
        amplitude *= 0.5f;
        period *= 2;
    }
    return sum;
}

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}

} // namespace

void Image::set(int x, int y, float r, float g, float b) {
    uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    p[0] = toByte(r);
    p[1] = toByte(g);
    p[2] = toByte(b);
}

std::vector<uint8_t> encodeJpeg(const Image& image, int quality) {
    jpeg_compress_struct info;
    ErrorExit error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error("JPEG encoding failed");
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            &image.pixels[static_cast<size_t>(info.next_scanline) * image.width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

Image makePlasma(int size, float hueShift) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = 2 * kPi * x / size, v = 2 * kPi * y / size;
            float p = std::sin(u * 2 + hueShift) + std::sin(v * 3) + std::sin((u + v) * 1) +
                      std::sin(std::sin(u) * 3 + v * 2);
            float t = p * 0.25f * kPi + hueShift;
            image.set(x, y, 0.5f + 0.5f * std::sin(t), 0.5f + 0.5f * std::sin(t + 2.1f),
                      0.5f + 0.5f * std::sin(t + 4.2f));
        }
    return image;
}

Image makeSkyGradient(int size) {
    Image image(size, size);
    for (int y = 0; y < size; ++y) {
        float t = static_cast<float>(y) / (size - 1);
        for (int x = 0; x < size; ++x) {
            float n = fractal(static_cast<float>(x) / size, static_cast<float>(y) / size, 4, 7);
            float cloud = std::max(0.0f, n - 0.45f) * 2.5f * (1 - t);
            image.set(x, y, 0.1f + 0.5f * t + cloud, 0.15f + 0.35f * t + cloud,
                      0.45f + 0.3f * (1 - t) + cloud);
        }
    }
    return image;
}

Image makeChecker(int size, int cells, const float a[3], const float b[3]) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            bool odd = ((x * cells / size) + (y * cells / size)) & 1;
            const float* c = odd ? a : b;
            float edge = 0.85f + 0.15f * std::cos(2 * kPi * x * cells / size) *
                                     std::cos(2 * kPi * y * cells / size);
            image.set(x, y, c[0] * edge, c[1] * edge, c[2] * edge);
        }
    return image;
}

Image makeGrass(int size) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            float n = fractal(u, v, 5, 11);
            float m = fractal(u, v, 3, 23);
            image.set(x, y, 0.15f + 0.35f * m, 0.3f + 0.5f * n, 0.12f + 0.15f * n);
        }
    return image;
}

Image makeChrome(int size) {
    // An environment seen in a polished ball: sky above, a bright horizon, dark ground.
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float nx = 2.0f * x / (size - 1) - 1, ny = 1 - 2.0f * y / (size - 1);
            float horizon = std::exp(-ny * ny * 40);
            float sky = std::max(0.0f, ny);
            float ground = std::max(0.0f, -ny);
            float sun = std::exp(-((nx - 0.4f) * (nx - 0.4f) + (ny - 0.5f) * (ny - 0.5f)) * 30);
            image.set(x, y, 0.2f + 0.5f * sky + horizon + sun + 0.25f * ground,
                      0.25f + 0.55f * sky + 0.9f * horizon + sun + 0.15f * ground,
                      0.4f + 0.6f * sky + 0.7f * horizon + sun * 0.8f + 0.1f * ground);
        }
    return image;
}

Image makeSpark(int size, const float tint[3]) {
    Image image(size, size);
    float c = (size - 1) * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (x - c) / c, dy = (y - c) / c;
            float r = std::sqrt(dx * dx + dy * dy);
            float glow = std::max(0.0f, 1 - r);
            glow = glow * glow;
            float star =
                std::max(0.0f, 1 - std::fabs(dx) * 12) * std::max(0.0f, 1 - std::fabs(dy)) +
                std::max(0.0f, 1 - std::fabs(dy) * 12) * std::max(0.0f, 1 - std::fabs(dx));
            float v = glow + 0.6f * star;
            image.set(x, y, v * tint[0], v * tint[1], v * tint[2]);
        }
    return image;
}

Image makeMarble(int size) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            float n = fractal(u, v, 5, 31);
            float vein = 0.5f + 0.5f * std::sin((u * 4 + n * 6) * 2 * kPi);
            vein = std::pow(vein, 3.0f);
            image.set(x, y, 0.85f - 0.5f * vein, 0.82f - 0.45f * vein, 0.9f - 0.3f * vein);
        }
    return image;
}

Image makeStripes(int size, int stripes) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float t = static_cast<float>(y) * stripes / size;
            float s = 0.5f + 0.5f * std::sin(2 * kPi * t);
            float glow = std::pow(s, 6.0f);
            image.set(x, y, 0.1f + 0.9f * glow, 0.05f + 0.4f * glow + 0.2f * s, 0.3f + 0.7f * s);
        }
    return image;
}

Image makeLogo(int size) {
    Image image(size, size);
    const float c = size * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (x - c) / c, dy = (y - c) / c;
            float r = std::sqrt(dx * dx + dy * dy);
            float rings = 0.5f + 0.5f * std::cos(r * 18);
            float a = std::atan2(dy, dx);
            float rays = 0.5f + 0.5f * std::cos(a * 8);
            image.set(x, y, 0.55f + 0.45f * rings * (1 - r * 0.5f), 0.25f + 0.35f * rays * rings,
                      0.15f + 0.5f * (1 - rings) * (1 - r * 0.5f));
        }
    // The letters "KRV" across the middle, from the show's bitmap font.
    const std::string word = "KRV";
    int scale = size / 24;
    int textWidth = static_cast<int>(word.size()) * 6 * scale;
    int x0 = (size - textWidth) / 2, y0 = (size - 7 * scale) / 2;
    for (size_t i = 0; i < word.size(); ++i) {
        const Glyph& g = glyphFor(word[i]);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (!glyphPixel(g, col, row)) continue;
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx) {
                        int px = x0 + (static_cast<int>(i) * 6 + col) * scale + sx;
                        int py = y0 + row * scale + sy;
                        if (px >= 0 && px < size && py >= 0 && py < size)
                            image.set(px, py, 1.0f, 0.95f, 0.7f);
                    }
            }
    }
    return image;
}

Image makeCircuit(int size) {
    Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            int cx = x * 8 / size, cy = y * 8 / size;
            float n = latticeValue(cx, cy, 8, 5);
            float lx = std::fabs(std::fmod(u * 8, 1.0f) - 0.5f);
            float ly = std::fabs(std::fmod(v * 8, 1.0f) - 0.5f);
            bool traceH = n > 0.5f && ly < 0.06f;
            bool traceV = n <= 0.5f && lx < 0.06f;
            bool pad = lx < 0.15f && ly < 0.15f && n > 0.3f;
            float glow = traceH || traceV || pad ? 1.0f : 0.0f;
            float base = 0.08f + 0.1f * fractal(u, v, 3, 41);
            image.set(x, y, base + 0.2f * glow, base + 0.8f * glow, base + 0.5f * glow);
        }
    return image;
}

} // namespace kestrune
