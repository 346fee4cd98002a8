// Draws the program's pictures and writes them as the files the resource
// script embeds:
//
//   draw_art <output folder>
//
// app_icon.ico      the main window's icon: a target under a crosshair
// process_icon.ico  the process list's icon: a list of rows with the target
// picker_rest.png   the drag picker at rest: a crosshair in a round target
// picker_drag.png   the same target, emptied while its crosshair is dragged
// picker.cur        that crosshair, as the cursor shown while dragging
//
// Everything is drawn from signed distance functions with coverage taken
// from the distance, so edges are antialiased at every size without
// supersampling. The sizes up to 48 pixels have measures of their own, with
// line widths on whole pixels, because a scaled-down 256-pixel drawing turns
// to mush at 16.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "art_formats.h"

namespace {

using corvane::art::Image;

struct Color {
    float r = 0, g = 0, b = 0, a = 0;
};

Color rgb(std::uint32_t hex, float alpha = 1.0f) {
    return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
            static_cast<float>(hex & 0xFF) / 255.0f, alpha};
}

Color mix(Color a, Color b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// The palette: deep navy, warm cream, teal and coral.
const Color kNavy = rgb(0x1D2845);
const Color kNavyLight = rgb(0x33446E);
const Color kCream = rgb(0xF6F0E3);
const Color kTeal = rgb(0x2FBFAA);
const Color kCoral = rgb(0xFF6A52);

// Signed distances in pixels, negative inside.
float circle(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }

float ring(float x, float y, float cx, float cy, float r, float width) {
    return std::fabs(std::hypot(x - cx, y - cy) - r) - width / 2;
}

float box(float x, float y, float left, float top, float right, float bottom, float radius = 0) {
    const float hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
    const float dx = std::fabs(x - (left + right) / 2) - hx, dy = std::fabs(y - (top + bottom) / 2) - hy;
    const float outside = std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
    return outside + std::min(std::max(dx, dy), 0.0f) - radius;
}

// Four arms around (cx, cy), each from `inner` to `outer` away from the centre.
float crossArms(float x, float y, float cx, float cy, float inner, float outer, float width) {
    const float h = box(x, y, cx - outer, cy - width / 2, cx + outer, cy + width / 2);
    const float v = box(x, y, cx - width / 2, cy - outer, cx + width / 2, cy + outer);
    const float hole = box(x, y, cx - inner, cy - inner, cx + inner, cy + inner);
    return std::max(std::min(h, v), -hole);
}

// Premultiplied float pixels, composited with "over".
class Canvas {
public:
    explicit Canvas(int size) : size_(size), pixels_(static_cast<std::size_t>(size * size)) {}

    int size() const { return size_; }
    float centre() const { return static_cast<float>(size_) / 2; }

    template <class Shape, class Paint>
    void fill(Shape shape, Paint paint) {
        for (int y = 0; y < size_; ++y)
            for (int x = 0; x < size_; ++x) {
                const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                const float coverage = std::clamp(0.5f - shape(px, py), 0.0f, 1.0f);
                if (coverage <= 0) continue;
                const Color c = paint(px, py);
                const float a = c.a * coverage;
                Color& d = pixels_[static_cast<std::size_t>(y * size_ + x)];
                d = {c.r * a + d.r * (1 - a), c.g * a + d.g * (1 - a), c.b * a + d.b * (1 - a), a + d.a * (1 - a)};
            }
    }

    template <class Shape>
    void fill(Shape shape, Color color) {
        fill(shape, [color](float, float) { return color; });
    }

    Image image() const {
        Image out(size_, size_);
        for (int y = 0; y < size_; ++y)
            for (int x = 0; x < size_; ++x) {
                const Color& c = pixels_[static_cast<std::size_t>(y * size_ + x)];
                std::uint8_t* p = out.pixel(x, y);
                const auto alpha = static_cast<std::uint8_t>(std::lround(std::clamp(c.a, 0.0f, 1.0f) * 255));
                p[3] = alpha;
                if (alpha == 0) continue;
                const auto channel = [&](float v) {
                    return static_cast<std::uint8_t>(std::lround(std::clamp(v / c.a, 0.0f, 1.0f) * 255));
                };
                p[0] = channel(c.r);
                p[1] = channel(c.g);
                p[2] = channel(c.b);
            }
        return out;
    }

private:
    int size_;
    std::vector<Color> pixels_;
};

// The target's measures in pixels. The small sizes are set by hand, with arm
// widths even so that arms centred on the canvas's middle (a pixel boundary,
// as every size is even) stay crisp. Larger sizes scale the 48-pixel
// measures, where nothing forces the arms to a whole 4 pixels.
struct TargetStyle {
    float disc;  // radius of the navy disc
    float creamRadius, creamWidth;
    float tealRadius, tealWidth;  // no teal ring where tealWidth is 0
    float armWidth, armInner, armOuter;
    float outline;  // navy border around the arms
    float dot;      // radius of the bullseye
};

TargetStyle targetStyle(int size) {
    switch (size) {
        case 16: return {7.5f, 4.6f, 1.6f, 0, 0, 2, 3, 8, 1, 1.2f};
        case 24: return {11.0f, 7.2f, 2.0f, 0, 0, 2, 3.5f, 11, 1, 1.8f};
        case 32: return {14.5f, 10.2f, 2.4f, 5.8f, 2.0f, 2, 4, 16, 1, 2.1f};
        case 48: return {22.0f, 15.5f, 3.5f, 8.8f, 3.0f, 4, 5, 24, 1.5f, 3.0f};
        default: {
            const float u = static_cast<float>(size) / 48.0f;
            return {22 * u, 15.5f * u, 3.5f * u, 8.8f * u, 3 * u, 3.4f * u, 5 * u, 24 * u, 1.5f * u, 3 * u};
        }
    }
}

// The target: a navy disc with a cream and a teal ring, a coral bullseye and
// coral crosshair arms that reach to the picture's edge.
void drawTarget(Canvas& canvas, float cx, float cy, const TargetStyle& s) {
    canvas.fill([=](float x, float y) { return circle(x, y, cx, cy, s.disc); },
                [=](float, float y) {
                    const float t = std::clamp((y - (cy - s.disc)) / (2 * s.disc), 0.0f, 1.0f);
                    return mix(kNavyLight, kNavy, t);
                });
    if (s.creamWidth > 0)
        canvas.fill([=](float x, float y) { return ring(x, y, cx, cy, s.creamRadius, s.creamWidth); }, kCream);
    if (s.tealWidth > 0)
        canvas.fill([=](float x, float y) { return ring(x, y, cx, cy, s.tealRadius, s.tealWidth); }, kTeal);

    // A navy border parts the arms from the rings they cross; outside the
    // disc the arms stand alone.
    canvas.fill(
        [=](float x, float y) {
            return std::max(crossArms(x, y, cx, cy, s.armInner - s.outline, s.armOuter, s.armWidth + 2 * s.outline),
                            circle(x, y, cx, cy, s.disc));
        },
        kNavy);
    canvas.fill([=](float x, float y) { return crossArms(x, y, cx, cy, s.armInner, s.armOuter, s.armWidth); }, kCoral);
    canvas.fill([=](float x, float y) { return circle(x, y, cx, cy, s.dot); }, kCoral);
}

Image appIcon(int size) {
    Canvas canvas(size);
    drawTarget(canvas, canvas.centre(), canvas.centre(), targetStyle(size));
    return canvas.image();
}

// A cream sheet with list rows and the target over its lower right corner,
// the target centred on a pixel boundary like the app icon's. Drawn at 32
// and 48 pixels, the sizes the process list asks for.
Image processIcon(int size) {
    Canvas canvas(size);
    const float s = static_cast<float>(size);
    const float u = s / 48.0f;
    const float border = std::max(1.0f, std::round(2.0f * u));
    const float left = std::round(3 * u), top = std::round(4 * u), right = std::round(39 * u),
                bottom = std::round(41 * u), corner = 4 * u;
    canvas.fill([=](float x, float y) { return box(x, y, left, top, right, bottom, corner); }, kNavy);
    canvas.fill(
        [=](float x, float y) {
            return box(x, y, left + border, top + border, right - border, bottom - border, corner - border);
        },
        kCream);

    const float rowHeight = std::max(1.0f, std::round(3 * u));
    const float pitch = std::round(7 * u);
    for (int i = 0; i < 4; ++i) {
        const float y0 = top + border + std::round(4 * u) + static_cast<float>(i) * pitch;
        const float x0 = left + border + std::round(3 * u);
        const float mark = x0 + rowHeight;
        canvas.fill([=](float x, float y) { return box(x, y, x0, y0, mark, y0 + rowHeight); }, kTeal);
        const float end = right - border - std::round((i % 2 ? 7 : 3) * u);
        const float text = mark + std::max(1.0f, std::round(2 * u));
        canvas.fill([=](float x, float y) { return box(x, y, text, y0, end, y0 + rowHeight); },
                    mix(kNavy, kCream, 0.3f));
    }

    // The 16-pixel target's measures serve the 32-pixel sheet, the
    // 24-pixel ones the 48-pixel sheet.
    TargetStyle style = targetStyle(size / 2);
    style.armOuter = style.disc;
    const float c = std::floor(s - style.disc - border);
    canvas.fill([=](float x, float y) { return circle(x, y, c, c, style.disc + border); }, kCream);
    drawTarget(canvas, c, c, style);
    return canvas.image();
}

// The drag picker at 24 pixels: a cream face inside a navy rim, holding the
// crosshair unless it is being dragged.
Image pickerImage(bool holdsCrosshair) {
    Canvas canvas(24);
    const float c = canvas.centre();
    canvas.fill([=](float x, float y) { return circle(x, y, c, c, 11.0f); }, kNavy);
    canvas.fill([=](float x, float y) { return circle(x, y, c, c, 9.0f); }, kCream);
    if (holdsCrosshair) {
        canvas.fill([=](float x, float y) { return crossArms(x, y, c, c, 3.0f, 7.0f, 2.0f); }, kNavy);
        canvas.fill([=](float x, float y) { return circle(x, y, c, c, 1.6f); }, kCoral);
    } else {
        // A faint socket where the crosshair sat, so the emptied target still
        // reads as the same picture.
        canvas.fill([=](float x, float y) { return ring(x, y, c, c, 4.5f, 1.0f); }, mix(kCream, kNavy, 0.25f));
    }
    return canvas.image();
}

// The crosshair lifted out of the picker, with a light halo so it shows on
// dark windows too. Its centre lies on the pixel boundary at (16, 16).
Image pickerCursor() {
    Canvas canvas(32);
    const float c = canvas.centre();
    canvas.fill(
        [=](float x, float y) {
            return std::min(crossArms(x, y, c, c, 4.0f, 15.0f, 2.0f), circle(x, y, c, c, 2.0f)) - 1.0f;
        },
        rgb(0xFFFFFF, 0.9f));
    canvas.fill([=](float x, float y) { return crossArms(x, y, c, c, 4.0f, 15.0f, 2.0f); }, kNavy);
    canvas.fill([=](float x, float y) { return circle(x, y, c, c, 2.0f); }, kCoral);
    return canvas.image();
}

bool writeFile(const std::string& path, const corvane::art::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "draw_art: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_art <output folder>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    using namespace corvane::art;

    const bool ok =
        writeFile(dir + "app_icon.ico", encodeIconFile({appIcon(16), appIcon(32), appIcon(48), appIcon(256)})) &&
        writeFile(dir + "process_icon.ico", encodeIconFile({processIcon(32), processIcon(48)})) &&
        writeFile(dir + "picker_rest.png", encodePng(pickerImage(true))) &&
        writeFile(dir + "picker_drag.png", encodePng(pickerImage(false))) &&
        writeFile(dir + "picker.cur", encodeCursorFile(pickerCursor(), {16, 16}));
    return ok ? 0 : 1;
}
