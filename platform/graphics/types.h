// Points, sizes and rectangles as the platform uses them: a rectangle includes Left/Top and
// excludes Right/Bottom.
#pragma once
#include <algorithm>

namespace vcl {

struct TPoint {
    int X = 0, Y = 0;
    constexpr bool operator==(const TPoint&) const = default;
};

struct TSize {
    int cx = 0, cy = 0;
    constexpr bool operator==(const TSize&) const = default;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr TPoint TopLeft() const { return {Left, Top}; }
    constexpr TPoint BottomRight() const { return {Right, Bottom}; }
    constexpr bool operator==(const TRect&) const = default;
};

constexpr TPoint Point(int x, int y) { return {x, y}; }
constexpr TRect Rect(int l, int t, int r, int b) { return {l, t, r, b}; }
constexpr TRect Bounds(int l, int t, int w, int h) { return {l, t, l + w, t + h}; }

constexpr bool IsRectEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
constexpr bool PtInRect(const TRect& r, TPoint p) {
    return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}
constexpr void OffsetRect(TRect& r, int dx, int dy) {
    r.Left += dx; r.Right += dx; r.Top += dy; r.Bottom += dy;
}
constexpr void InflateRect(TRect& r, int dx, int dy) {
    r.Left -= dx; r.Right += dx; r.Top -= dy; r.Bottom += dy;
}
// Stores the overlap in dst (empty rectangle when none) and tells whether there is one.
inline bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    if (IsRectEmpty(r)) { dst = TRect{}; return false; }
    dst = r;
    return true;
}
inline bool UnionRect(TRect& dst, const TRect& a, const TRect& b) {
    if (IsRectEmpty(a)) { dst = b; return !IsRectEmpty(b); }
    if (IsRectEmpty(b)) { dst = a; return true; }
    dst = {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
           std::max(a.Bottom, b.Bottom)};
    return true;
}

}  // namespace vcl
