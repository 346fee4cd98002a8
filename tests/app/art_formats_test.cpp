#include "app/resources/art_formats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::art {
namespace {

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
std::uint32_t le16(const Bytes& b, std::size_t at) { return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8; }
std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Undoes zlibStored, checking every block header and the Adler-32 trailer.
Bytes inflateStored(const Bytes& z) {
    EXPECT_EQ(z.at(0), 0x78);
    EXPECT_EQ((z.at(0) * 256u + z.at(1)) % 31u, 0u);
    Bytes out;
    std::size_t at = 2;
    for (bool last = false; !last;) {
        last = z.at(at) & 1;
        EXPECT_EQ(z.at(at) >> 1, 0) << "stored block expected";
        const std::uint32_t len = le16(z, at + 1);
        EXPECT_EQ(le16(z, at + 3), ~len & 0xFFFFu);
        at += 5;
        out.insert(out.end(), z.begin() + static_cast<std::ptrdiff_t>(at),
                   z.begin() + static_cast<std::ptrdiff_t>(at + len));
        at += len;
    }
    EXPECT_EQ(at + 4, z.size());
    EXPECT_EQ(be32(z, at), adler32(out.data(), out.size()));
    return out;
}

TEST(ArtFormats, ChecksumsMatchTheirReferenceValues) {
    const Bytes digits = bytesOf("123456789");
    EXPECT_EQ(crc32(digits.data(), digits.size()), 0xCBF43926u);
    const Bytes iend = bytesOf("IEND");
    EXPECT_EQ(crc32(iend.data(), iend.size()), 0xAE426082u);
    const Bytes wiki = bytesOf("Wikipedia");
    EXPECT_EQ(adler32(wiki.data(), wiki.size()), 0x11E60398u);
}

TEST(ArtFormats, StoredZlibSplitsLongDataIntoBlocks) {
    Bytes raw(70000);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const Bytes z = zlibStored(raw);
    EXPECT_EQ(z.at(2), 0) << "first of two blocks is not final";
    EXPECT_EQ(le16(z, 3), 65535u);
    EXPECT_EQ(inflateStored(z), raw);
    EXPECT_EQ(inflateStored(zlibStored({})), Bytes{});
}

TEST(ArtFormats, PngChunksAndPixelsRoundTrip) {
    Image image(2, 3);
    for (std::size_t i = 0; i < image.rgba.size(); ++i) image.rgba[i] = static_cast<std::uint8_t>(i * 11 + 1);
    const Bytes png = encodePng(image);
    ASSERT_EQ(Bytes(png.begin(), png.begin() + 8), (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));

    std::vector<std::string> types;
    Bytes idat;
    std::size_t at = 8;
    while (at < png.size()) {
        const std::uint32_t length = be32(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        const auto data = png.begin() + static_cast<std::ptrdiff_t>(at + 8);
        types.emplace_back(data - 4, data);
        EXPECT_EQ(be32(png, at + 8 + length), crc32(png.data() + at + 4, length + 4)) << types.back();
        if (types.back() == "IHDR") {
            ASSERT_EQ(length, 13u);
            EXPECT_EQ(be32(png, at + 8), 2u);
            EXPECT_EQ(be32(png, at + 12), 3u);
            EXPECT_EQ(png[at + 16], 8) << "bit depth";
            EXPECT_EQ(png[at + 17], 6) << "RGBA";
        }
        if (types.back() == "IDAT") idat.assign(data, data + length);
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    Bytes expected;
    for (int y = 0; y < 3; ++y) {
        expected.push_back(0);
        expected.insert(expected.end(), image.pixel(0, y), image.pixel(0, y) + 8);
    }
    EXPECT_EQ(inflateStored(idat), expected);
}

TEST(ArtFormats, IconDibIsBottomUpBgraWithMaskForClearPixels) {
    Image image(3, 2);
    image.pixel(0, 0)[3] = 0;  // top left fully transparent, the rest opaque
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::uint8_t* p = image.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(10 * x + y);  // red
            p[2] = 200;                                    // blue
            if (x || y) p[3] = 255;
        }
    const Bytes dib = encodeIconDib(image);
    EXPECT_EQ(le32(dib, 0), 40u);
    EXPECT_EQ(le32(dib, 4), 3u);
    EXPECT_EQ(le32(dib, 8), 4u) << "height doubled for the AND mask";
    EXPECT_EQ(le16(dib, 14), 32u);
    const std::size_t maskStride = 4;
    ASSERT_EQ(dib.size(), 40 + 3 * 2 * 4 + 2 * maskStride);
    EXPECT_EQ(le32(dib, 20), 3 * 2 * 4 + 2 * maskStride);

    // First stored row is the bottom one (y = 1): BGRA of pixel (0, 1).
    EXPECT_EQ(Bytes(dib.begin() + 40, dib.begin() + 44), (Bytes{200, 0, 1, 255}));
    // Second stored row is the top one; its first pixel is transparent.
    EXPECT_EQ(dib[40 + 12 + 3], 0);
    const std::size_t mask = 40 + 24;
    EXPECT_EQ(dib[mask], 0x00) << "bottom row fully opaque";
    EXPECT_EQ(dib[mask + maskStride], 0x80) << "only the top left pixel is masked";
}

TEST(ArtFormats, IconDirectoryPointsAtEachImage) {
    const std::vector<Image> images{Image(16, 16), Image(256, 256)};
    const Bytes ico = encodeIconFile(images);
    EXPECT_EQ(le16(ico, 2), 1u) << "icon";
    ASSERT_EQ(le16(ico, 4), 2u);

    EXPECT_EQ(ico[6], 16);
    EXPECT_EQ(le16(ico, 6 + 4), 1u) << "planes";
    EXPECT_EQ(le16(ico, 6 + 6), 32u) << "bit count";
    const std::uint32_t smallSize = le32(ico, 6 + 8), smallAt = le32(ico, 6 + 12);
    EXPECT_EQ(smallAt, 6u + 2 * 16);
    EXPECT_EQ(smallSize, encodeIconDib(images[0]).size());
    EXPECT_EQ(le32(ico, smallAt), 40u);

    EXPECT_EQ(ico[22], 0) << "256 is written as 0";
    const std::uint32_t largeSize = le32(ico, 22 + 8), largeAt = le32(ico, 22 + 12);
    EXPECT_EQ(largeAt, smallAt + smallSize);
    EXPECT_EQ(largeAt + largeSize, ico.size());
    EXPECT_EQ(ico[largeAt + 1], 'P') << "the 256 image is a PNG";
}

TEST(ArtFormats, CursorCarriesItsHotSpot) {
    const Bytes cur = encodeCursorFile(Image(32, 32), {16, 15});
    EXPECT_EQ(le16(cur, 2), 2u) << "cursor";
    EXPECT_EQ(le16(cur, 6 + 4), 16u);
    EXPECT_EQ(le16(cur, 6 + 6), 15u);
    EXPECT_EQ(le32(cur, 6 + 12), 22u);
    EXPECT_EQ(le32(cur, 6 + 8) + 22u, cur.size());
}

}  // namespace
}  // namespace corvane::art
