// The show's 5x7 bitmap font and the letter meshes built from it for the text overlays.
#pragma once

#include <string>

#include "content/geometry.h"

namespace kestrune {

struct Glyph {
    char c;
    const char* rows[7]; // five characters each, '#' for a set pixel
};

// The glyph of c (letters fold to capitals); a blank glyph for characters the font lacks.
const Glyph& glyphFor(char c);
bool glyphPixel(const Glyph& glyph, int column, int row);
bool fontHas(char c);

// The object file name of a letter mesh ("ch65.lwo" for 'A'): names differ by more than letter
// case, since archive lookups fold case.
std::string letterObjectName(char c);

// A letter as extruded pixel blocks: one unit per pixel scaled by pixelSize, centred on x,
// baseline at y = 0, front face at z = 0 facing -z, depth units deep.
ContentMesh makeLetterMesh(char c, float pixelSize, float depth, const ContentSurface& face);

// Advance between letters in the same units.
constexpr float kLetterAdvance = 6;

} // namespace kestrune
