// Texture images: the name lookup in the texture table, JPEG decoding, box-filter resampling and
// the texture loading every backend shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "render/table/render_table.h"

namespace kestrune {

// Decoded images larger than this many pixels are refused (the result block is width x height x 3
// bytes, allocated before decoding).
constexpr int64_t kMaxTexturePixels = int64_t{8192} * 8192;

// Edge of the white square that stands in for a texture found nowhere or not decodable.
constexpr int kMissingTextureSize = 4;

// Index of the first texture table slot whose name equals name exactly; -1 when there is none.
int findTexture(const char* name);

// Decodes the named JPEG (loose file first, then the archive) into width x height RGB pixels,
// rows tightly packed and bottom-up. None when it is found nowhere or the decoder fails (the
// decoder's message then goes to stderr). width and height are written once the header is read.
std::optional<std::vector<uint8_t>> decodeJpeg(const char* name, int32_t& width, int32_t& height);

// The same for a JPEG held in memory; images over maxPixels pixels are refused.
std::optional<std::vector<uint8_t>> decodeJpegBytes(const uint8_t* data, size_t size,
                                                    int32_t& width, int32_t& height,
                                                    int64_t maxPixels = kMaxTexturePixels);

// The same without a word: none, and nothing printed, for an image the decoder has anything to
// say about, warnings included. For decoding ahead of need, where a message would come too early.
std::optional<std::vector<uint8_t>> decodeJpegQuietly(const uint8_t* data, size_t size,
                                                      int32_t& width, int32_t& height);

// Box filter with 16.16 fixed-point steps over tightly packed three-byte pixels, integer only.
void resampleImage(const uint8_t* source, uint8_t* destination, int32_t sourceWidth,
                   int32_t sourceHeight, int32_t destinationWidth, int32_t destinationHeight);

// Hands a freshly decoded image to the graphics interface: slot holds its width and height,
// pixels its width x height x 3 bytes (bottom-up rows).
using TextureUploadFn = void (*)(uint16_t index, TextureSlot& slot, const uint8_t* pixels,
                                 uint8_t mipmap);

// The loadTexture contract of every backend: the slot of an already loaded name, else a new slot
// that is decoded, uploaded, named and returned. A texture found nowhere or not decodable gets
// a small white image. A full table (500 slots) or a name of 40 characters or more is refused
// with index 0 and the table is left as it is.
uint16_t loadTextureShared(const char* name, uint8_t mipmap, TextureUploadFn upload);

// While one of these is alive (on the loading thread), loadTextureShared still gives each new
// name its slot and reads its bytes at once, but decodes the image on a thread of its own and
// leaves its upload to finishTextureLoads, which uploads every waiting image in request order:
// slots, sizes, pixels and the decoder's messages are those of loading one by one. Without a
// second core (or threads, on the web) it loads one by one. The last one to end finishes the
// loads and stops the thread.
class TexturesDecodedAhead {
public:
    TexturesDecodedAhead();
    ~TexturesDecodedAhead();
    TexturesDecodedAhead(const TexturesDecodedAhead&) = delete;
    TexturesDecodedAhead& operator=(const TexturesDecodedAhead&) = delete;
};

// Waits for the images decoded ahead (decoding here those the thread has not started) and
// uploads them in request order; call before drawing what was loaded.
void finishTextureLoads();

// While on, every JPEG entry that the kept archive's thread unpacks ahead (see openArchiveAhead)
// is decoded ahead too, on that thread, before a loader asks for it: an image asked for while
// TexturesDecodedAhead is alive is then taken from there when its bytes, read as usual at the
// request, are the bytes decoded. Turn it on before openArchiveAhead; turning it off, once the
// archive is no longer kept, drops what was not asked for.
void decodeArchiveTexturesAhead(bool on);

// How many images decoded that way wait for a loader to ask for them.
size_t archiveTexturesWaiting();

// For loadTextureShared: hands the new slot's image to the decoder thread; false when images
// are loaded one by one.
bool decodeTextureAhead(uint16_t index, const char* name, uint8_t mipmap, TextureUploadFn upload);

// Uploads a decoded image to its slot, or the white stand-in when there is none.
void uploadDecoded(uint16_t index, TextureSlot& slot, std::optional<std::vector<uint8_t>> pixels,
                   uint8_t mipmap, TextureUploadFn upload);

// What the object readers call: the backend's loadTexture, or index 0 when no backend is chosen
// (tools and tests), in which case nothing is decoded.
uint16_t requestTexture(const char* name, uint8_t mipmap);

} // namespace kestrune
