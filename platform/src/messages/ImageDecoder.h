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

}  // namespace plat::gdi::image

extern "C" plat::gdi::image::Decode orvade_image_decoder();
