#include "library/ChartDigest.h"

#include "base/Errors.h"
#include "files/Files.h"

#include <openssl/evp.h>

#include <vector>

namespace tappo {
namespace {

template <size_t N>
void Digest(const EVP_MD* kind, std::string_view bytes, std::array<uint8_t, N>& out) {
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), out.data(), &size, kind, nullptr) != 1 || size != N)
        throw Error("the chart's digest cannot be made");
}

} // namespace

ChartDigest DigestOf(std::string_view bytes) {
    ChartDigest digest;
    Digest(EVP_md5(), bytes, digest.Md5);
    Digest(EVP_sha256(), bytes, digest.Sha256);
    return digest;
}

std::string HexOf(const uint8_t* data, size_t size) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        hex[2 * i] = Digits[data[i] >> 4];
        hex[2 * i + 1] = Digits[data[i] & 15];
    }
    return hex;
}

std::string DigestLines(const std::string& path) {
    const std::vector<uint8_t> data = ReadWholeFile(path);
    const ChartDigest digest =
        DigestOf(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    return "Md5 " + HexOf(digest.Md5) + "\nSha256 " + HexOf(digest.Sha256) + "\n";
}

} // namespace tappo
