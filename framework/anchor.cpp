#include "framework/anchor.h"

#include <algorithm>

namespace corvane {

AnchorMargins takeMargins(const Geometry& g, int clientWidth, int clientHeight) {
    // A control that starts out past the right or bottom edge keeps no
    // margin at all: it ends at the edge once the form lays it out.
    return {std::max(0, clientWidth - g.width - g.left), std::max(0, clientHeight - g.height - g.top),
            g.left - clientWidth / 2, g.top - clientHeight / 2};
}

Geometry anchoredGeometry(AnchorCode code, const Geometry& g, const AnchorMargins& m, int clientWidth,
                          int clientHeight) {
    enum class H { Keep, Stretch, Right, Centre };
    enum class V { Keep, Stretch, Bottom, Middle, Centre };
    H h = H::Keep;
    V v = V::Keep;
    switch (code) {
        case kAnchorStretchWidth: h = H::Stretch; break;
        case kAnchorRight: h = H::Right; break;
        case kAnchorCentreX: h = H::Centre; break;
        case kAnchorStretchHeight: v = V::Stretch; break;
        case kAnchorStretchBoth:
            h = H::Stretch;
            v = V::Stretch;
            break;
        case kAnchorRightStretchHeight:
            h = H::Right;
            v = V::Stretch;
            break;
        case kAnchorBottom: v = V::Bottom; break;
        case kAnchorStretchWidthBottom:
            h = H::Stretch;
            v = V::Bottom;
            break;
        case kAnchorRightBottom:
            h = H::Right;
            v = V::Bottom;
            break;
        case kAnchorCentreXBottom:
            h = H::Centre;
            v = V::Bottom;
            break;
        case kAnchorMiddle: v = V::Middle; break;
        case kAnchorRightMiddle:
            h = H::Right;
            v = V::Middle;
            break;
        case kAnchorCentreBoth:
            h = H::Centre;
            v = V::Centre;
            break;
        default: return g;
    }
    Geometry out = g;
    switch (h) {
        case H::Keep: break;
        case H::Stretch: out.width = std::max(0, clientWidth - m.right - g.left); break;
        case H::Right: out.left = clientWidth - m.right - g.width; break;
        case H::Centre: out.left = clientWidth / 2 + m.centerX; break;
    }
    switch (v) {
        case V::Keep: break;
        case V::Stretch: out.height = std::max(0, clientHeight - m.bottom - g.top); break;
        case V::Bottom: out.top = clientHeight - m.bottom - g.height; break;
        case V::Middle: out.top = (clientHeight - g.height) / 2; break;
        case V::Centre: out.top = clientHeight / 2 + m.centerY; break;
    }
    return out;
}

}  // namespace corvane
