// Inflate after RFC 1951: stored blocks, and blocks with the fixed or a
// dynamic Huffman code, decoded with canonical code counts (a symbol's code
// is found by walking the lengths, one bit at a time). Every read is bounds
// checked, so a hostile stream only ever answers false.
#include "gui/inflate.h"

#include <array>

namespace klv::gui {

namespace {

constexpr int kMaxBits = 15;

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // n bits (up to 16), least significant first; false past the end.
    bool bits(int n, unsigned& value) {
        value = 0;
        for (int i = 0; i < n; ++i) {
            if (pos_ >= size_) return false;
            value |= static_cast<unsigned>((data_[pos_] >> bit_) & 1u) << i;
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return true;
    }
    void alignToByte() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }
    bool byte(std::uint8_t& b) {
        if (pos_ >= size_) return false;
        b = data_[pos_++];
        return true;
    }
    std::size_t position() const { return pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    int bit_ = 0;
};

// A canonical Huffman code: how many codes of each length, and the symbols
// in code order.
struct Huffman {
    std::array<std::uint16_t, kMaxBits + 1> counts{};
    std::array<std::uint16_t, 320> symbols{};

    // False for an over-subscribed set of lengths (an incomplete one is
    // allowed, as for a single distance code).
    bool build(const std::uint8_t* lengths, int n) {
        counts.fill(0);
        for (int i = 0; i < n; ++i) ++counts[lengths[i]];
        counts[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = left * 2 - counts[len];
            if (left < 0) return false;
        }
        std::array<std::uint16_t, kMaxBits + 2> offsets{};
        for (int len = 1; len <= kMaxBits; ++len)
            offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + counts[len]);
        for (int i = 0; i < n; ++i) {
            if (lengths[i] != 0) symbols[offsets[lengths[i]]++] = static_cast<std::uint16_t>(i);
        }
        return true;
    }

    bool decode(BitReader& in, int& symbol) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            unsigned bit;
            if (!in.bits(1, bit)) return false;
            code |= static_cast<int>(bit);
            const int count = counts[len];
            if (code - first < count) {
                symbol = symbols[index + code - first];
                return true;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return false;
    }
};

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
public:
    Inflater(BitReader& in, std::vector<std::uint8_t>& out, std::size_t limit) : in_(in), out_(out), limit_(limit) {}

    bool run() {
        for (;;) {
            unsigned last, type;
            if (!in_.bits(1, last) || !in_.bits(2, type)) return false;
            bool ok = false;
            if (type == 0) ok = stored();
            if (type == 1) ok = fixed();
            if (type == 2) ok = dynamic();
            if (!ok) return false;
            if (last) return true;
        }
    }

private:
    bool stored() {
        in_.alignToByte();
        std::uint8_t b[4];
        for (auto& x : b) {
            if (!in_.byte(x)) return false;
        }
        const unsigned length = b[0] | b[1] << 8;
        if ((length ^ 0xFFFFu) != static_cast<unsigned>(b[2] | b[3] << 8)) return false;
        if (out_.size() + length > limit_) return false;
        for (unsigned i = 0; i < length; ++i) {
            std::uint8_t x;
            if (!in_.byte(x)) return false;
            out_.push_back(x);
        }
        return true;
    }

    bool fixed() {
        std::uint8_t lengths[288 + 30];
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        for (int i = 0; i < 30; ++i) lengths[288 + i] = 5;
        Huffman literals, distances;
        if (!literals.build(lengths, 288) || !distances.build(lengths + 288, 30)) return false;
        return codes(literals, distances);
    }

    bool dynamic() {
        unsigned nlen, ndist, ncode;
        if (!in_.bits(5, nlen) || !in_.bits(5, ndist) || !in_.bits(4, ncode)) return false;
        nlen += 257;
        ndist += 1;
        ncode += 4;
        if (nlen > 286 || ndist > 30) return false;
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::uint8_t codeLengths[19] = {};
        for (unsigned i = 0; i < ncode; ++i) {
            unsigned v;
            if (!in_.bits(3, v)) return false;
            codeLengths[kOrder[i]] = static_cast<std::uint8_t>(v);
        }
        Huffman lengthCode;
        if (!lengthCode.build(codeLengths, 19)) return false;
        std::uint8_t lengths[286 + 30] = {};
        for (unsigned i = 0; i < nlen + ndist;) {
            int symbol;
            if (!lengthCode.decode(in_, symbol)) return false;
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            unsigned repeat;
            std::uint8_t value = 0;
            if (symbol == 16) {
                if (i == 0 || !in_.bits(2, repeat)) return false;
                value = lengths[i - 1];
                repeat += 3;
            } else if (symbol == 17) {
                if (!in_.bits(3, repeat)) return false;
                repeat += 3;
            } else {
                if (!in_.bits(7, repeat)) return false;
                repeat += 11;
            }
            if (i + repeat > nlen + ndist) return false;
            while (repeat-- > 0) lengths[i++] = value;
        }
        if (lengths[256] == 0) return false;  // no end-of-block code
        Huffman literals, distances;
        if (!literals.build(lengths, static_cast<int>(nlen)) ||
            !distances.build(lengths + nlen, static_cast<int>(ndist)))
            return false;
        return codes(literals, distances);
    }

    bool codes(const Huffman& literals, const Huffman& distances) {
        for (;;) {
            int symbol;
            if (!literals.decode(in_, symbol)) return false;
            if (symbol < 256) {
                if (out_.size() >= limit_) return false;
                out_.push_back(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == 256) return true;
            symbol -= 257;
            if (symbol >= 29) return false;
            unsigned extra;
            if (!in_.bits(kLengthExtra[symbol], extra)) return false;
            const std::size_t length = kLengthBase[symbol] + extra;
            int d;
            if (!distances.decode(in_, d) || d >= 30) return false;
            if (!in_.bits(kDistanceExtra[d], extra)) return false;
            const std::size_t distance = kDistanceBase[d] + extra;
            if (distance > out_.size() || out_.size() + length > limit_) return false;
            const std::size_t from = out_.size() - distance;
            for (std::size_t i = 0; i < length; ++i) out_.push_back(out_[from + i]);
        }
    }

    BitReader& in_;
    std::vector<std::uint8_t>& out_;
    std::size_t limit_;
};

std::uint32_t adler32(const std::vector<std::uint8_t>& data) {
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t x : data) {
        a = (a + x) % 65521u;
        b = (b + a) % 65521u;
    }
    return b << 16 | a;
}

}  // namespace

bool inflateZlib(const std::uint8_t* data, std::size_t size, std::size_t expectedSize, std::vector<std::uint8_t>& out) {
    out.clear();
    if (size < 6) return false;
    const unsigned cmf = data[0], flags = data[1];
    // Deflate with a window of at most 32 kB, no preset dictionary.
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (cmf << 8 | flags) % 31 != 0 || (flags & 0x20)) return false;
    out.reserve(expectedSize);
    BitReader in(data + 2, size - 2);
    if (!Inflater(in, out, expectedSize).run() || out.size() != expectedSize) return false;
    in.alignToByte();
    std::uint8_t check[4];
    for (auto& x : check) {
        if (!in.byte(x)) return false;
    }
    return adler32(out) == (static_cast<std::uint32_t>(check[0]) << 24 | static_cast<std::uint32_t>(check[1]) << 16 |
                            static_cast<std::uint32_t>(check[2]) << 8 | check[3]);
}

std::uint32_t crc32Of(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

}  // namespace klv::gui
