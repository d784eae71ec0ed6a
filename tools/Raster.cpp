#include "tools/Raster.h"

#include "platform/Display.h"
#include "platform/Font.h"

#include <algorithm>
#include <cmath>

namespace tappo::tools {

uint32_t Rgb(int r, int g, int b) {
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return c(r) << 16 | c(g) << 8 | c(b);
}

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    auto ch = [&](int shift) {
        double va = (a >> shift) & 255, vb = (b >> shift) & 255;
        return int(std::lround(va + (vb - va) * t));
    };
    return Rgb(ch(16), ch(8), ch(0));
}

uint32_t Scale(uint32_t c, double f) {
    return Rgb(int(((c >> 16) & 255) * f), int(((c >> 8) & 255) * f), int((c & 255) * f));
}

uint32_t Hsv(double h, double s, double v) {
    h = std::fmod(std::fmod(h, 360.0) + 360.0, 360.0) / 60.0;
    const int i = int(h);
    const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (i) {
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    case 5:
        r = v, g = p, b = q;
        break;
    default:
        break;
    }
    return Rgb(int(std::lround(r * 255)), int(std::lround(g * 255)), int(std::lround(b * 255)));
}

void Painter::Blend(int x, int y, uint32_t color, double alpha) {
    if (x < 0 || y < 0 || x >= p_.Width || y >= p_.Height || alpha <= 0) return;
    if (HardEdges) {
        if (alpha > 0.5) p_.At(x, y) = color;
        return;
    }
    p_.At(x, y) = alpha >= 1 ? color : Mix(p_.At(x, y), color, alpha);
}

void Painter::FillRect(int x, int y, int w, int h, uint32_t color) {
    for (int yy = std::max(0, y); yy < std::min(p_.Height, y + h); ++yy)
        for (int xx = std::max(0, x); xx < std::min(p_.Width, x + w); ++xx)
            p_.At(xx, yy) = color;
}

void Painter::Cover(int x0, int y0, int x1, int y1,
                    const std::function<bool(double, double)>& inside, const Shader& shader) {
    x0 = std::max(0, x0), y0 = std::max(0, y0);
    x1 = std::min(p_.Width - 1, x1), y1 = std::min(p_.Height - 1, y1);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0);
            if (hits) Blend(x, y, shader(x + 0.5, y + 0.5), hits / 16.0);
        }
    }
}

void Painter::FillPolygon(const std::vector<Point>& points, const Shader& shader) {
    if (points.size() < 3) return;
    double minX = points[0].X, maxX = minX, minY = points[0].Y, maxY = minY;
    for (const Point& q : points) {
        minX = std::min(minX, q.X), maxX = std::max(maxX, q.X);
        minY = std::min(minY, q.Y), maxY = std::max(maxY, q.Y);
    }
    auto inside = [&](double x, double y) {
        bool in = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            if ((points[i].Y > y) != (points[j].Y > y) &&
                x < (points[j].X - points[i].X) * (y - points[i].Y) / (points[j].Y - points[i].Y) +
                        points[i].X)
                in = !in;
        }
        return in;
    };
    Cover(int(std::floor(minX)), int(std::floor(minY)), int(std::ceil(maxX)), int(std::ceil(maxY)),
          inside, shader);
}

void Painter::FillPolygon(const std::vector<Point>& points, uint32_t color) {
    FillPolygon(points, [color](double, double) { return color; });
}

void Painter::FillEllipse(double cx, double cy, double rx, double ry, const Shader& shader) {
    auto inside = [&](double x, double y) {
        double dx = (x - cx) / rx, dy = (y - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    };
    Cover(int(cx - rx) - 1, int(cy - ry) - 1, int(cx + rx) + 1, int(cy + ry) + 1, inside, shader);
}

void Painter::FillRoundRect(double x, double y, double w, double h, double r,
                            const Shader& shader) {
    auto inside = [&](double px, double py) {
        double qx = std::clamp(px, x + r, x + w - r), qy = std::clamp(py, y + r, y + h - r);
        double dx = px - qx, dy = py - qy;
        return px >= x && px <= x + w && py >= y && py <= y + h && dx * dx + dy * dy <= r * r;
    };
    Cover(int(x) - 1, int(y) - 1, int(x + w) + 1, int(y + h) + 1, inside, shader);
}

namespace {
TextRenderer& Fonts() {
    static TextRenderer fonts; // the tool draws a handful of labels, once
    return fonts;
}
} // namespace

int Painter::TextWidth(int size, const std::string& utf8) {
    return Fonts().Render(size, utf8).Width;
}

int Painter::Text(int x, int y, int size, const std::string& utf8, uint32_t color) {
    const TextMask& m = Fonts().Render(size, utf8);
    for (int my = 0; my < m.Height; ++my)
        for (int mx = 0; mx < m.Width; ++mx)
            if (m.Bits[size_t(my) * m.Width + mx]) Blend(x + mx, y + my, color, 1.0);
    return m.Width;
}

std::vector<Point> Grow(const std::vector<Point>& points, double by) {
    // Offsets each edge outward and intersects neighbouring edges (a mitred outline).
    const size_t n = points.size();
    double area = 0;
    for (size_t i = 0; i < n; ++i) {
        const Point &a = points[i], &b = points[(i + 1) % n];
        area += a.X * b.Y - b.X * a.Y;
    }
    const double sign = area > 0 ? 1 : -1;
    std::vector<Point> out(n);
    for (size_t i = 0; i < n; ++i) {
        const Point &prev = points[(i + n - 1) % n], &cur = points[i], &next = points[(i + 1) % n];
        auto normal = [&](const Point& a, const Point& b) {
            double dx = b.X - a.X, dy = b.Y - a.Y, len = std::hypot(dx, dy);
            return Point{sign * dy / len, -sign * dx / len};
        };
        Point n1 = normal(prev, cur), n2 = normal(cur, next);
        Point m{n1.X + n2.X, n1.Y + n2.Y};
        double dot = m.X * n1.X + m.Y * n1.Y;
        double k = dot > 1e-9 ? by / dot : by;
        out[i] = {cur.X + m.X * k, cur.Y + m.Y * k};
    }
    return out;
}

std::vector<Point> Rotate(const std::vector<Point>& points, double cx, double cy,
                          int quarterTurns) {
    std::vector<Point> out;
    for (Point p : points) {
        for (int i = 0; i < ((quarterTurns % 4) + 4) % 4; ++i)
            p = {cx - (p.Y - cy), cy + (p.X - cx)}; // a quarter turn clockwise on screen
        out.push_back(p);
    }
    return out;
}

} // namespace tappo::tools
