// JPEG writing for the asset maker (the demo songs' background images).
#pragma once

#include "formats/Picture.h"

#include <cstdint>
#include <vector>

namespace tappo::tools {

std::vector<uint8_t> EncodeJpeg(const Image& picture, int quality = 90);

} // namespace tappo::tools
