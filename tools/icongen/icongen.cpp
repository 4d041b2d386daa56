// icongen - draws the side-key button bitmaps and the application icon.
//
//   icongen <outdir>
//
// writes <outdir>/sidekey_res/<Name><state>.bmp (14 buttons x 3 states,
// 35 x 35, 24-bit BMP) and <outdir>/Sidekey.ico (an XPM image, 48 x 48; the
// utility has always loaded it under that name).
//
// Everything is drawn from code with a handful of anti-aliased raster
// primitives, so the output is byte-for-byte identical on every run.
// Build: g++ -std=c++17 -O2 icongen.cpp -o icongen

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- colours

struct Rgb {
    double r, g, b;
};

constexpr Rgb hex(std::uint32_t v)
{
    return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

Rgb mix(const Rgb& a, const Rgb& b, double t)  // t = 0 -> a, t = 1 -> b
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double luma(const Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

const Rgb kWhite = hex(0xFFFFFF);
const Rgb kOutline = hex(0x2B2B2B);

// ----------------------------------------------------------------- canvas

struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied) colour
};

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}

    int width() const { return w_; }
    int height() const { return h_; }
    Pixel& at(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
    const Pixel& at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }

    // Composites colour c over every pixel, weighted by how much of the
    // pixel lies inside the shape (4 x 4 samples per pixel).
    void paint(const Rgb& c, const std::function<bool(double, double)>& inside, double opacity = 1.0)
    {
        constexpr int kSub = 4;
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                int hits = 0;
                for (int sy = 0; sy < kSub; ++sy)
                    for (int sx = 0; sx < kSub; ++sx)
                        if (inside(x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub))
                            ++hits;
                if (hits)
                    blend(at(x, y), c, opacity * hits / (kSub * kSub));
            }
        }
    }

    // Composites another canvas of the same size on top, passing each of
    // its colours through a filter first.
    void drawLayer(const Canvas& layer, const std::function<Rgb(const Rgb&)>& filter)
    {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                const Pixel& s = layer.at(x, y);
                if (s.a > 0)
                    blend(at(x, y), filter({s.r, s.g, s.b}), s.a);
            }
    }

private:
    static void blend(Pixel& d, const Rgb& c, double a)
    {
        const double outA = a + d.a * (1 - a);
        if (outA <= 0)
            return;
        d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
        d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
        d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
        d.a = outA;
    }

    int w_, h_;
    std::vector<Pixel> px_;
};

// ------------------------------------------------------------- primitives
// Coordinates are in pixels; pixel (i, j) covers [i, i+1) x [j, j+1).

struct Pt {
    double x, y;
};

using Poly = std::vector<Pt>;

void fillRect(Canvas& cv, const Rgb& c, double x0, double y0, double x1, double y1)
{
    cv.paint(c, [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; });
}

void fillRoundRect(Canvas& cv, const Rgb& c, double x0, double y0, double x1, double y1, double r)
{
    cv.paint(c, [=](double x, double y) {
        if (x < x0 || x >= x1 || y < y0 || y >= y1)
            return false;
        const double cx = std::clamp(x, x0 + r, x1 - r);
        const double cy = std::clamp(y, y0 + r, y1 - r);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    });
}

void fillCircle(Canvas& cv, const Rgb& c, double cx, double cy, double r)
{
    cv.paint(c, [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; });
}

void fillRing(Canvas& cv, const Rgb& c, double cx, double cy, double rIn, double rOut)
{
    cv.paint(c, [=](double x, double y) {
        const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d2 >= rIn * rIn && d2 <= rOut * rOut;
    });
}

double distToSegment(double x, double y, const Pt& a, const Pt& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double px = a.x + t * dx - x, py = a.y + t * dy - y;
    return std::sqrt(px * px + py * py);
}

// A line of the given width with round ends.
void thickLine(Canvas& cv, const Rgb& c, Pt a, Pt b, double width)
{
    cv.paint(c, [=](double x, double y) { return distToSegment(x, y, a, b) <= width / 2; });
}

void polyline(Canvas& cv, const Rgb& c, const Poly& pts, double width, bool closed = false)
{
    cv.paint(c, [&](double x, double y) {
        const size_t n = pts.size();
        const size_t segs = closed ? n : n - 1;
        for (size_t i = 0; i < segs; ++i)
            if (distToSegment(x, y, pts[i], pts[(i + 1) % n]) <= width / 2)
                return true;
        return false;
    });
}

bool insidePolygon(double x, double y, const Poly& pts)
{
    bool in = false;
    for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
        const Pt& a = pts[i];
        const Pt& b = pts[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

void fillPolygon(Canvas& cv, const Rgb& c, const Poly& pts)
{
    cv.paint(c, [&](double x, double y) { return insidePolygon(x, y, pts); });
}

// Filled polygon with an outline centred on its edges.
void outlinedPolygon(Canvas& cv, const Rgb& fill, const Rgb& line, const Poly& pts, double width)
{
    fillPolygon(cv, fill, pts);
    polyline(cv, line, pts, width, true);
}

Poly translated(Poly pts, double dx, double dy)
{
    for (Pt& p : pts) {
        p.x += dx;
        p.y += dy;
    }
    return pts;
}

Poly mirroredX(Poly pts, double axis)
{
    for (Pt& p : pts)
        p.x = 2 * axis - p.x;
    return pts;
}

// A frame along a slanted axis: point(t, s) lies t along the axis from the
// origin and s across it. Used for the pens and the eraser.
struct Axis {
    Pt origin;
    Pt dir;  // unit vector along the axis
    Pt point(double t, double s) const { return {origin.x + dir.x * t - dir.y * s, origin.y + dir.y * t + dir.x * s}; }
    // Quad spanning t0..t1 with half widths w0 (at t0) and w1 (at t1).
    Poly band(double t0, double t1, double w0, double w1) const
    {
        return {point(t0, -w0), point(t1, -w1), point(t1, w1), point(t0, w0)};
    }
};

// --------------------------------------------------------------- digit font
// 5 x 7 pixel digits; each font pixel is drawn as an sx x sy block.

constexpr std::array<std::array<const char*, 7>, 10> kDigits = {{
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},
}};

void drawDigit(Canvas& cv, const Rgb& c, int digit, double x0, double y0, double sx, double sy)
{
    const auto& glyph = kDigits.at(static_cast<size_t>(digit));
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (glyph[row][col] == '#') {
                // Snap block edges to whole pixels so the digit stays crisp.
                fillRect(cv, c, std::round(x0 + col * sx), std::round(y0 + row * sy), std::round(x0 + (col + 1) * sx),
                         std::round(y0 + (row + 1) * sy));
            }
}

// ------------------------------------------------------------ button art
// Every picture is drawn on a transparent 35 x 35 layer and kept inside
// roughly [4, 31] so the 3 px border of the active state never covers it.

constexpr int kButtonSize = 35;
constexpr double kMid = kButtonSize / 2.0;

const Rgb kInkBlack = hex(0x262626);
const Rgb kInkRed = hex(0xD62828);
const Rgb kInkBlue = hex(0x1F5FD1);
const Rgb kInkGreen = hex(0x1E9E3A);

// A sheet of paper with a folded top-right corner.
void drawSheet(Canvas& cv, double x0, double y0, double x1, double y1, double fold, bool textLines)
{
    const Rgb line = hex(0x404040);
    outlinedPolygon(cv, kWhite, line, {{x0, y0}, {x1 - fold, y0}, {x1, y0 + fold}, {x1, y1}, {x0, y1}}, 1.4);
    outlinedPolygon(cv, hex(0xD4D4D4), line, {{x1 - fold, y0}, {x1 - fold, y0 + fold}, {x1, y0 + fold}}, 1.2);
    if (textLines)
        for (double y = y0 + 7; y < y1 - 2; y += 4)
            thickLine(cv, hex(0xA0A0A0), {x0 + 3, y}, {x1 - 3, y}, 1.2);
}

void drawNewPage(Canvas& cv)
{
    drawSheet(cv, 8.5, 5, 26.5, 30, 6.5, false);
    const Pt c{17.5, 19.5};
    thickLine(cv, kInkGreen, {c.x, c.y - 6}, {c.x, c.y + 6}, 3.6);
    thickLine(cv, kInkGreen, {c.x - 6, c.y}, {c.x + 6, c.y}, 3.6);
}

void drawSave(Canvas& cv)
{
    const Rgb body = hex(0x2F5DAA);
    outlinedPolygon(cv, body, hex(0x17305E), {{6, 6}, {25, 6}, {29, 10}, {29, 29}, {6, 29}}, 1.4);
    // metal shutter with its slot
    fillRect(cv, hex(0xC9D1DC), 11, 6.5, 23, 14);
    fillRect(cv, body, 18.5, 8, 21, 12.5);
    // label with a few written lines
    fillRect(cv, kWhite, 10, 18, 25, 28.5);
    thickLine(cv, hex(0x8D9AB0), {12, 21.5}, {23, 21.5}, 1.1);
    thickLine(cv, hex(0x8D9AB0), {12, 24.8}, {23, 24.8}, 1.1);
}

// A page with a big arrow in front of it; pointing left, or mirrored to the right.
void drawPageWithArrow(Canvas& cv, bool right)
{
    if (right)
        drawSheet(cv, 6, 6, 21.5, 29, 4.5, true);
    else
        drawSheet(cv, 13.5, 6, 29, 29, 4.5, true);
    Poly arrow = {{4.5, 17.5}, {15, 8.5}, {15, 13.5}, {25, 13.5}, {25, 21.5}, {15, 21.5}, {15, 26.5}};
    if (right)
        arrow = mirroredX(arrow, kMid);
    outlinedPolygon(cv, kInkBlue, hex(0x0F2F6E), arrow, 1.3);
}

void drawPrePage(Canvas& cv) { drawPageWithArrow(cv, false); }
void drawNextPage(Canvas& cv) { drawPageWithArrow(cv, true); }

// The classic arrow cursor, tip at the origin, about 15 x 25 px.
Poly cursorShape(double x, double y, double scale)
{
    Poly p = {{0, 0}, {0, 21}, {5, 16.3}, {8.8, 25}, {12.6, 23.3}, {8.9, 14.8}, {15.3, 14.8}};
    for (Pt& q : p)
        q = {x + q.x * scale, y + q.y * scale};
    return p;
}

void drawMouse(Canvas& cv)
{
    const Poly arrow = cursorShape(10.5, 5, 1.0);
    outlinedPolygon(cv, hex(0x505050), hex(0x505050), translated(arrow, 1.2, 1.2), 1.0);  // drop shadow
    outlinedPolygon(cv, kWhite, hex(0x111111), arrow, 1.6);
}

// A marker pen lying diagonally, tip at the bottom left, with a short
// stroke of its ink underneath.
void drawPen(Canvas& cv, const Rgb& ink)
{
    const Axis a{{8.2, 26.3}, {std::sqrt(0.5), -std::sqrt(0.5)}};
    const Rgb outline = hex(0x1A1A1A);
    const Poly silhouette = {a.point(0, -1.0), a.point(3.2, -1.8), a.point(8, -4.6), a.point(26, -4.6),
                             a.point(26, 4.6),  a.point(8, 4.6),    a.point(3.2, 1.8), a.point(0, 1.0)};
    fillPolygon(cv, outline, silhouette);
    fillPolygon(cv, ink, a.band(0, 3.4, 1.0, 1.8));                 // nib
    fillPolygon(cv, hex(0xDADADA), a.band(3.2, 8.2, 1.8, 4.6));     // collar
    fillPolygon(cv, ink, a.band(8, 22.5, 4.6, 4.6));                // barrel
    fillPolygon(cv, mix(ink, kWhite, 0.45), a.band(9, 21.5, 2.0, 2.0));  // highlight...
    fillPolygon(cv, ink, a.band(8, 23, 1.0, 1.0));                  // ...split by the barrel colour
    fillPolygon(cv, mix(ink, kOutline, 0.45), a.band(22.5, 26, 4.6, 4.6));  // end cap
    polyline(cv, outline, silhouette, 1.2, true);
    thickLine(cv, outline, a.point(8, -4.6), a.point(8, 4.6), 1.0);
    // ink stroke
    polyline(cv, ink, {{12.5, 30}, {16, 28.3}, {19.5, 30}, {23, 28.3}}, 2.0);
}

void drawBlackPen(Canvas& cv) { drawPen(cv, kInkBlack); }
void drawRedPen(Canvas& cv) { drawPen(cv, kInkRed); }
void drawBluePen(Canvas& cv) { drawPen(cv, kInkBlue); }
void drawGreenPen(Canvas& cv) { drawPen(cv, kInkGreen); }

// A two-tone block eraser seen slightly from above: a slanted top face
// with its front and end faces showing below it.
void drawEraser(Canvas& cv)
{
    const Axis a{{17.5, 16.2}, {std::sqrt(0.5), -std::sqrt(0.5)}};
    const double half = 10.5, wide = 5.3, split = -3.0;  // split: where rubber meets sleeve
    const Pt depth{0, 3.0};
    const Rgb outline = hex(0x2A2A2A), rubber = hex(0xF2A7B6), sleeve = hex(0x3C78C8);
    const Rgb rubberSide = mix(rubber, kOutline, 0.3), sleeveSide = mix(sleeve, kOutline, 0.35);
    auto top = [&](double t, double s) { return a.point(t, s); };
    auto low = [&](double t, double s) { return Pt{a.point(t, s).x + depth.x, a.point(t, s).y + depth.y}; };

    const Poly outer = {top(-half, -wide), top(half, -wide), top(half, wide),
                        low(half, wide),   low(-half, wide), low(-half, -wide)};
    fillPolygon(cv, outline, outer);
    fillPolygon(cv, rubberSide, {top(-half, -wide), top(-half, wide), low(-half, wide), low(-half, -wide)});
    fillPolygon(cv, rubberSide, {top(-half, wide), top(split, wide), low(split, wide), low(-half, wide)});
    fillPolygon(cv, sleeveSide, {top(split, wide), top(half, wide), low(half, wide), low(split, wide)});
    polyline(cv, outline, outer, 1.2, true);
    thickLine(cv, outline, top(-half, wide), low(-half, wide), 1.0);

    fillPolygon(cv, rubber, a.band(-half, split, wide, wide));
    fillPolygon(cv, sleeve, a.band(split, half, wide, wide));
    polyline(cv, outline, a.band(-half, half, wide, wide), 1.2, true);
    thickLine(cv, outline, top(split, -wide), top(split, wide), 1.0);
}

// A key cap with a big digit on it.
void drawUserKey(Canvas& cv, int digit)
{
    fillRoundRect(cv, hex(0x454D5A), 5, 4.5, 30, 31, 4);     // outer edge
    fillRoundRect(cv, hex(0xA9B1BD), 6.2, 5.7, 28.8, 29.8, 3);  // key sides
    fillRoundRect(cv, hex(0xF5F7FA), 7.6, 6.4, 27.4, 26.6, 2.5);  // top face
    drawDigit(cv, hex(0x1B47A8), digit, 10, 7, 3, 19.0 / 7);
}

void drawUserDefine1(Canvas& cv) { drawUserKey(cv, 1); }
void drawUserDefine2(Canvas& cv) { drawUserKey(cv, 2); }

// A calibration target: cross hairs over two rings.
void drawOrient(Canvas& cv)
{
    const Rgb dark = hex(0x303030);
    fillRing(cv, kInkRed, kMid, kMid, 9.6, 12.2);
    fillRing(cv, kInkRed, kMid, kMid, 4.2, 6.0);
    thickLine(cv, dark, {4.5, kMid}, {13.0, kMid}, 1.8);
    thickLine(cv, dark, {22.0, kMid}, {30.5, kMid}, 1.8);
    thickLine(cv, dark, {kMid, 4.5}, {kMid, 13.0}, 1.8);
    thickLine(cv, dark, {kMid, 22.0}, {kMid, 30.5}, 1.8);
    fillCircle(cv, dark, kMid, kMid, 1.7);
}

// A round "play" button.
void drawStart(Canvas& cv)
{
    fillCircle(cv, hex(0x156B2A), kMid, kMid, 12.8);
    fillCircle(cv, hex(0x27A545), kMid, kMid, 11.3);
    fillPolygon(cv, kWhite, {{13.8, 10.6}, {13.8, 24.4}, {25.4, 17.5}});
}

struct IconDef {
    const char* name;
    void (*draw)(Canvas&);
};

// The order matches the rows of the side-key panel.
const IconDef kIcons[] = {
    {"NewPage", drawNewPage},     {"Save", drawSave},         {"PrePage", drawPrePage},
    {"NextPage", drawNextPage},   {"Mouse", drawMouse},       {"BlackPen", drawBlackPen},
    {"RedPen", drawRedPen},       {"BluePen", drawBluePen},   {"GreenPen", drawGreenPen},
    {"Eraser", drawEraser},       {"UserDefine2", drawUserDefine2}, {"UserDefine1", drawUserDefine1},
    {"Orient", drawOrient},       {"Start", drawStart},
};

// ---------------------------------------------------------- button states
// 1 = not reached yet: flat light grey, thin light border, washed-out picture.
// 2 = press this now: bright amber, thick near-black border, full colour.
// 3 = done: pale green, dimmed picture, white check on a dark green disc.

Canvas renderButton(const Canvas& picture, int state)
{
    const int n = kButtonSize;
    Canvas cv(n, n);
    auto border = [&](const Rgb& c, double w) {
        cv.paint(c, [=](double x, double y) { return x < w || y < w || x >= n - w || y >= n - w; });
    };

    if (state == 1) {
        const Rgb bg = hex(0xE4E4E4);
        fillRect(cv, bg, 0, 0, n, n);
        cv.drawLayer(picture, [](const Rgb& c) {
            // squeeze the brightness into a narrow light range, keep a faint hint of the hue
            const double l = luma(c);
            const Rgb grey = mix(hex(0x8C8C8C), hex(0xF4F4F4), l);
            const double tint = 0.3;
            return Rgb{grey.r + (c.r - l) * tint, grey.g + (c.g - l) * tint, grey.b + (c.b - l) * tint};
        });
        border(hex(0xBEBEBE), 1);
    } else if (state == 2) {
        for (int y = 0; y < n; ++y)  // amber, a little lighter towards the top
            fillRect(cv, mix(hex(0xFFD44A), hex(0xFFAE0F), y / (n - 1.0)), 0, y, n, y + 1);
        cv.drawLayer(picture, [](const Rgb& c) { return c; });
        border(hex(0x1C1C1C), 3);
    } else {
        const Rgb bg = hex(0xCFEFD2);
        fillRect(cv, bg, 0, 0, n, n);
        cv.drawLayer(picture, [bg](const Rgb& c) {
            const double l = luma(c);
            return mix(mix(c, {l, l, l}, 0.35), bg, 0.45);
        });
        border(hex(0x4FA65C), 1);
        // check mark badge in the bottom-right corner
        const Pt c{26.5, 26.5};
        fillCircle(cv, kWhite, c.x, c.y, 7.6);
        fillCircle(cv, hex(0x137A2C), c.x, c.y, 6.4);
        polyline(cv, kWhite, {{c.x - 3.4, c.y + 0.2}, {c.x - 0.9, c.y + 2.8}, {c.x + 3.5, c.y - 2.6}}, 2.2);
    }
    return cv;
}

// ------------------------------------------------------------ application icon
// A whiteboard on a stand with a row of coloured side keys and an arrow
// pointer in front of it.

constexpr int kAppIconSize = 48;

const Rgb kAppColours[] = {hex(0x5C6675), hex(0x8A94A2), hex(0xFFFFFF), hex(0x111111), hex(0xFFB81C),
                           kInkRed,      kInkBlue,      kInkGreen,     hex(0x3B4350)};

Canvas drawAppIcon()
{
    Canvas cv(kAppIconSize, kAppIconSize);
    const Rgb frame = kAppColours[0], steel = kAppColours[1], dark = kAppColours[8];
    // stand
    thickLine(cv, frame, {14, 34}, {8.5, 46}, 3);
    thickLine(cv, frame, {34, 34}, {39.5, 46}, 3);
    // board
    fillRoundRect(cv, frame, 1.5, 3.5, 46.5, 36.5, 2.5);
    fillRect(cv, kWhite, 4, 6, 44, 34);
    fillRect(cv, steel, 5, 35.5, 43, 38.5);
    // side keys down the left edge of the board
    const Rgb keys[] = {kAppColours[4], kInkRed, kInkBlue, kInkGreen};
    for (int i = 0; i < 4; ++i) {
        const double y = 8 + i * 6.3;
        fillRoundRect(cv, dark, 6, y, 13, y + 5.3, 1.2);
        fillRoundRect(cv, keys[i], 7, y + 1, 12, y + 4.3, 0.8);
    }
    // writing on the board
    polyline(cv, kInkBlue, {{17, 14}, {20.5, 10}, {24, 14}, {27.5, 10}, {31, 14}, {34.5, 10}, {38, 14}}, 2.2);
    thickLine(cv, kInkRed, {17, 20}, {30, 20}, 2.2);
    // pointer
    const Poly arrow = cursorShape(29, 19, 1.0);
    outlinedPolygon(cv, kWhite, kAppColours[3], arrow, 1.6);
    return cv;
}

// Reduces an RGBA canvas to an XPM with a small palette: the colours the
// icon is drawn with, plus the most common anti-aliasing shades.
std::string toXpm(const Canvas& cv, const std::string& name)
{
    constexpr size_t kMaxColours = 36;
    auto to8 = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    auto key = [&](int r, int g, int b) { return (r << 16) | (g << 8) | b; };

    std::vector<int> palette;
    for (const Rgb& c : kAppColours)
        palette.push_back(key(to8(c.r), to8(c.g), to8(c.b)));

    // Popularity of each colour, bucketed to 4 bits per channel.
    std::map<int, int> counts;
    for (int y = 0; y < cv.height(); ++y)
        for (int x = 0; x < cv.width(); ++x) {
            const Pixel& p = cv.at(x, y);
            auto bucket = [&](double v) { return (to8(v) & 0xF0) | 0x08; };
            if (p.a >= 0.5)
                ++counts[key(bucket(p.r), bucket(p.g), bucket(p.b))];
        }
    std::vector<std::pair<int, int>> popular(counts.begin(), counts.end());
    std::stable_sort(popular.begin(), popular.end(), [](auto& a, auto& b) { return a.second > b.second; });

    auto dist = [](int a, int b) {
        const int dr = (a >> 16) - (b >> 16), dg = ((a >> 8) & 0xFF) - ((b >> 8) & 0xFF), db = (a & 0xFF) - (b & 0xFF);
        return dr * dr + dg * dg + db * db;
    };
    for (const auto& [colour, count] : popular) {
        if (palette.size() >= kMaxColours)
            break;
        bool close = false;
        for (int p : palette)
            close = close || dist(p, colour) < 24 * 24;
        if (!close && count > 1)
            palette.push_back(colour);
    }

    const std::string chars = ".#abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string out = "/* XPM */\nstatic const char *" + name + "[] = {\n";
    char line[64];
    std::snprintf(line, sizeof line, "\"%d %d %zu 1\",\n", cv.width(), cv.height(), palette.size() + 1);
    out += line;
    out += "\"  c None\",\n";
    for (size_t i = 0; i < palette.size(); ++i) {
        std::snprintf(line, sizeof line, "\"%c c #%06X\",\n", chars[i], static_cast<unsigned>(palette[i]));
        out += line;
    }
    for (int y = 0; y < cv.height(); ++y) {
        out += '"';
        for (int x = 0; x < cv.width(); ++x) {
            const Pixel& p = cv.at(x, y);
            if (p.a < 0.5) {
                out += ' ';
                continue;
            }
            const int c = key(to8(p.r), to8(p.g), to8(p.b));
            size_t best = 0;
            for (size_t i = 1; i < palette.size(); ++i)
                if (dist(palette[i], c) < dist(palette[best], c))
                    best = i;
            out += chars[best];
        }
        out += y + 1 < cv.height() ? "\",\n" : "\"\n";
    }
    out += "};\n";
    return out;
}

// ----------------------------------------------------------------- output

std::string toBmp(const Canvas& cv)
{
    const int w = cv.width(), h = cv.height();
    const int rowBytes = (w * 3 + 3) & ~3;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(rowBytes) * h;
    const std::uint32_t fileSize = 14 + 40 + imageSize;

    std::string out;
    auto u16 = [&](std::uint32_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    // BITMAPFILEHEADER
    out += "BM";
    u32(fileSize);
    u32(0);        // reserved
    u32(14 + 40);  // offset of the pixel data
    // BITMAPINFOHEADER
    u32(40);
    u32(static_cast<std::uint32_t>(w));
    u32(static_cast<std::uint32_t>(h));  // positive: rows stored bottom-up
    u16(1);                              // planes
    u16(24);                             // bits per pixel
    u32(0);                              // BI_RGB, uncompressed
    u32(imageSize);
    u32(2835);  // 72 dpi
    u32(2835);
    u32(0);  // colours used
    u32(0);  // important colours

    auto to8 = [](double v) { return static_cast<char>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const Pixel& p = cv.at(x, y);  // buttons are fully opaque
            out += to8(p.b);
            out += to8(p.g);
            out += to8(p.r);
        }
        out.append(static_cast<size_t>(rowBytes - w * 3), '\0');
    }
    return out;
}

bool writeFile(const fs::path& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) {
        std::fprintf(stderr, "icongen: cannot open %s for writing\n", path.string().c_str());
        return false;
    }
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f) {
        std::fprintf(stderr, "icongen: failed to write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: icongen <outdir>\n");
        return 2;
    }
    const fs::path outDir = argv[1];
    const fs::path bmpDir = outDir / "sidekey_res";
    std::error_code ec;
    fs::create_directories(bmpDir, ec);
    if (ec) {
        std::fprintf(stderr, "icongen: cannot create %s: %s\n", bmpDir.string().c_str(), ec.message().c_str());
        return 1;
    }

    int written = 0;
    for (const IconDef& icon : kIcons) {
        Canvas picture(kButtonSize, kButtonSize);
        icon.draw(picture);
        for (int state = 1; state <= 3; ++state) {
            const fs::path file = bmpDir / (std::string(icon.name) + std::to_string(state) + ".bmp");
            if (!writeFile(file, toBmp(renderButton(picture, state))))
                return 1;
            ++written;
        }
    }
    if (!writeFile(outDir / "Sidekey.ico", toXpm(drawAppIcon(), "Sidekey_xpm")))
        return 1;
    ++written;

    std::printf("icongen: wrote %d files to %s\n", written, outDir.string().c_str());
    return 0;
}
