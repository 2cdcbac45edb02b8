// Deflate decompression (RFC 1950 zlib streams of RFC 1951 blocks) for the
// skin art the plug-ins carry as PNG files: no library at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace klv::gui {

// Decompresses one zlib stream into out, which must come to exactly
// expectedSize bytes. False for anything malformed, truncated, larger than
// expected, or failing its checksum; out is then unspecified.
bool inflateZlib(const std::uint8_t* data, std::size_t size, std::size_t expectedSize, std::vector<std::uint8_t>& out);

// The CRC-32 of PNG chunks (ISO 3309).
std::uint32_t crc32Of(const std::uint8_t* data, std::size_t size);

}  // namespace klv::gui
