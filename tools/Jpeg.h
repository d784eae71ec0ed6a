// JPEG writing for the asset maker (the demo songs' background images) and
// for the tests' pictures.
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tappo::tools {

// The kinds of JPEG files the libraries write: grey, colour or CMYK samples,
// stored in one pass or progressively.
struct JpegLayout {
    int Components = 3; // 1 grey, 3 RGB, 4 CMYK
    bool Progressive = false;
    int Quality = 90;
};

// A W x H file whose sample I of row Y (I counts the components of every
// pixel in turn) is SAMPLE(I, Y).
std::vector<uint8_t> EncodeJpegSamples(int w, int h, const JpegLayout& layout,
                                       const std::function<uint8_t(size_t, int)>& sample);

std::vector<uint8_t> EncodeJpeg(const Image& picture, int quality = 90);

} // namespace tappo::tools
