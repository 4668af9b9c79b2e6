// Procedural images for the show's textures and their baseline JPEG encoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// RGB pixels, rows top to bottom, three bytes per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3) {}
    void set(int x, int y, float r, float g, float b); // components 0..1, clamped
};

// Baseline JPEG (libjpeg's compressor, 4:2:0 sampling); throws on encoder failure.
std::vector<uint8_t> encodeJpeg(const Image& image, int quality = 88);

Image makePlasma(int size, float hueShift);
Image makeSkyGradient(int size);
Image makeChecker(int size, int cells, const float a[3], const float b[3]);
Image makeGrass(int size);
Image makeChrome(int size);
Image makeSpark(int size, const float tint[3]);
Image makeMarble(int size);
Image makeStripes(int size, int stripes);
Image makeLogo(int size); // "loggo.jpg": the project's emblem, for the metaball surface
Image makeCircuit(int size);

} // namespace kestrune
