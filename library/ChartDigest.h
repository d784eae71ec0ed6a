// The names the community gives a chart: the MD5 and SHA-256 of its file's
// bytes, which difficulty tables list charts by.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tappo {

struct ChartDigest {
    std::array<uint8_t, 16> Md5{};
    std::array<uint8_t, 32> Sha256{};
};

// Both digests of the same bytes (the chart read once).
ChartDigest DigestOf(std::string_view bytes);

// Lower-case hexadecimal, as md5sum and sha256sum write it.
std::string HexOf(const uint8_t* data, size_t size);
template <size_t N> std::string HexOf(const std::array<uint8_t, N>& digest) {
    return HexOf(digest.data(), N);
}

// The file's digests as "--inspect" ends its listing: "Md5 <hex>" and
// "Sha256 <hex>" lines. Throws Error when the file cannot be read.
std::string DigestLines(const std::string& path);

} // namespace tappo
