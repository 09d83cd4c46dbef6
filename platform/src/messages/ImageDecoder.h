// The image decoder (internal): a helper library on QtGui that the base
// loads when the first image file is read, so that the base links no Qt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::gdi::image {

// Where the decoded pixels go: asked once the size is known and within the
// limits; returns the buffer of width * height pixels, null to give up.
using Allocate = uint32_t* (*)(void* context, int width, int height);

// Decodes BMP, PNG or JPEG bytes into 0xffRRGGBB pixels (transparency
// composed onto white). False for another format, a broken file, or a size
// beyond maxSide or maxPixels, which is checked before anything is decoded.
using Decode = bool (*)(const uint8_t* data, size_t size, int maxSide, int64_t maxPixels, Allocate allocate, void* context);

// Decodes bytes of any format the helper reads into 0xffRRGGBB pixels as
// stored (alpha dropped, not composed). False for a broken file or one whose
// declared size is unknown or beyond maxSide, checked before anything is
// decoded; the decoder allocates at most maxSide * maxSide 32-bit pixels.
using DecodeAsStored = bool (*)(const uint8_t* data, size_t size, int maxSide, Allocate allocate, void* context);

// Scales 0xffRRGGBB pixels (stride pixels a row) smoothly to width *
// height; false when the buffer cannot be had.
using Scale = bool (*)(const uint32_t* pixels, int width, int height, int stride, int toWidth, int toHeight,
                       Allocate allocate, void* context);

struct Functions {
    Decode decode;
    DecodeAsStored decodeAsStored;
    Scale scale;
};

}  // namespace plat::gdi::image

extern "C" const plat::gdi::image::Functions* orvade_image_functions();
