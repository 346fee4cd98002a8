#pragma once

// File writers for the program's pictures: PNG, and the icon and cursor
// containers the resource compiler takes. Standard library only, because the
// art generator is built with the host compiler while the program itself is
// cross-compiled.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane::art {

using Bytes = std::vector<std::uint8_t>;

// Straight (not premultiplied) 8-bit RGBA, rows from the top.
struct Image {
    int width = 0;
    int height = 0;
    Bytes rgba;

    Image() = default;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4) {}

    std::uint8_t* pixel(int x, int y) { return rgba.data() + offset(x, y); }
    const std::uint8_t* pixel(int x, int y) const { return rgba.data() + offset(x, y); }

private:
    std::size_t offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
};

inline std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline std::uint32_t adler32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t a = 1, b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

inline void putBE32(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void putLE16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void putLE32(Bytes& out, std::uint32_t v) {
    putLE16(out, v & 0xFFFFu);
    putLE16(out, v >> 16);
}

// A zlib stream of stored deflate blocks. The pictures are small, and no
// compressor means nothing here that could corrupt them.
inline Bytes zlibStored(const Bytes& raw) {
    constexpr std::size_t kMaxBlock = 65535;
    Bytes out{0x78, 0x01};  // deflate, 32K window, no dictionary; 0x7801 is a multiple of 31
    std::size_t at = 0;
    do {
        const std::size_t n = raw.size() - at < kMaxBlock ? raw.size() - at : kMaxBlock;
        const bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00
        putLE16(out, static_cast<std::uint32_t>(n));
        putLE16(out, static_cast<std::uint32_t>(~n & 0xFFFFu));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    putBE32(out, adler32(raw.data(), raw.size()));
    return out;
}

inline void putPngChunk(Bytes& out, const char (&type)[5], const Bytes& data) {
    putBE32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t crcFrom = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBE32(out, crc32(out.data() + crcFrom, out.size() - crcFrom));
}

// 8-bit RGBA, no filtering, no interlace.
inline Bytes encodePng(const Image& image) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

    Bytes header;
    putBE32(header, static_cast<std::uint32_t>(image.width));
    putBE32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    putPngChunk(out, "IHDR", header);

    const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    Bytes scanlines;
    scanlines.reserve((stride + 1) * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        scanlines.push_back(0);  // filter type None
        const std::uint8_t* row = image.pixel(0, y);
        scanlines.insert(scanlines.end(), row, row + stride);
    }
    putPngChunk(out, "IDAT", zlibStored(scanlines));
    putPngChunk(out, "IEND", {});
    return out;
}

// One icon or cursor image as a device-independent bitmap: BITMAPINFOHEADER
// with the height doubled, 32-bit BGRA rows from the bottom, then the 1-bit
// AND mask. Loaders that ignore alpha fall back on the mask, so a pixel is
// masked out only where it is fully transparent.
inline Bytes encodeIconDib(const Image& image) {
    const auto w = static_cast<std::uint32_t>(image.width);
    const auto h = static_cast<std::uint32_t>(image.height);
    const std::uint32_t maskStride = (w + 31) / 32 * 4;
    Bytes out;
    putLE32(out, 40);
    putLE32(out, w);
    putLE32(out, h * 2);
    putLE16(out, 1);   // planes
    putLE16(out, 32);  // bits per pixel
    putLE32(out, 0);   // BI_RGB
    putLE32(out, w * h * 4 + maskStride * h);
    for (int i = 0; i < 4; ++i) putLE32(out, 0);  // resolution and palette counts
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    for (int y = image.height - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < image.width; ++x)
            if (image.pixel(x, y)[3] == 0)
                row[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

struct HotSpot {
    int x = 0;
    int y = 0;
};

// The ICONDIR container. Images of 256 pixels are stored as PNG, smaller ones
// as DIBs. A cursor file differs only in its type and in carrying the hot
// spot where an icon names planes and bit depth.
inline Bytes encodeIconFile(const std::vector<Image>& images, const HotSpot* cursorHotSpot = nullptr) {
    std::vector<Bytes> bodies;
    for (const Image& image : images) bodies.push_back(image.width >= 256 ? encodePng(image) : encodeIconDib(image));

    Bytes out;
    putLE16(out, 0);
    putLE16(out, cursorHotSpot ? 2 : 1);
    putLE16(out, static_cast<std::uint32_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(images[i].width >= 256 ? 0 : images[i].width));
        out.push_back(static_cast<std::uint8_t>(images[i].height >= 256 ? 0 : images[i].height));
        out.push_back(0);  // no palette
        out.push_back(0);
        putLE16(out, cursorHotSpot ? static_cast<std::uint32_t>(cursorHotSpot->x) : 1);
        putLE16(out, cursorHotSpot ? static_cast<std::uint32_t>(cursorHotSpot->y) : 32);
        putLE32(out, static_cast<std::uint32_t>(bodies[i].size()));
        putLE32(out, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const Bytes& body : bodies) out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes encodeCursorFile(const Image& image, HotSpot hotSpot) { return encodeIconFile({image}, &hotSpot); }

}  // namespace corvane::art
