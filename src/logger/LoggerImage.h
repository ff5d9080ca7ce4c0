#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kl516 {

// The byte image of the meter's logger memory in the meter's own layout: a 256-byte header
// whose first 32 bytes are the information response, then the data set records. Filled by the
// download or from a collection file, parsed once, written to the temporary collection file.
using LoggerImage = std::vector<uint8_t>;

inline constexpr int32_t kLoggerMemorySize = 131072;  // the largest memory a download fetches
inline constexpr int32_t kLoggerHeaderSize = 256;     // the first record starts here

// lastAddress from image bytes 11..13 (24-bit, most significant byte first), or -1 when the
// image is shorter than 14 bytes.
inline int32_t imageLastAddress(std::span<const uint8_t> image) {
    if (image.size() < 14) return -1;
    return int32_t(image[11]) << 16 | int32_t(image[12]) << 8 | int32_t(image[13]);
}

}  // namespace kl516
