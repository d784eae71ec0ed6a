// A small software painter for the asset maker: shapes with soft or hard
// edges, gradients and text, on a true-colour picture.
#pragma once

#include "formats/Picture.h"

#include <functional>
#include <string>
#include <vector>

namespace tappo::tools {

struct Point {
    double X, Y;
};

uint32_t Rgb(int r, int g, int b);
uint32_t Mix(uint32_t a, uint32_t b, double t); // t = 0 gives a
uint32_t Scale(uint32_t c, double f);           // brightness, clamped
// Hue 0-360, saturation and value 0-1.
uint32_t Hsv(double h, double s, double v);

using Shader = std::function<uint32_t(double x, double y)>;

class Painter {
  public:
    explicit Painter(Image& picture) : p_(picture) {}

    // With hard edges a pixel is painted when more than half of it is covered:
    // sprites keep a clean outline against their colour key.
    bool HardEdges = false;

    void Blend(int x, int y, uint32_t color, double alpha);
    void FillRect(int x, int y, int w, int h, uint32_t color);
    void FillPolygon(const std::vector<Point>& points, const Shader& shader);
    void FillPolygon(const std::vector<Point>& points, uint32_t color);
    void FillEllipse(double cx, double cy, double rx, double ry, const Shader& shader);
    void FillRoundRect(double x, double y, double w, double h, double r, const Shader& shader);
    // Text in IPA P Mincho at `size` points, top-left at (x, y); returns its width.
    int Text(int x, int y, int size, const std::string& utf8, uint32_t color);
    int TextWidth(int size, const std::string& utf8);

  private:
    // Paints by coverage: `inside(x, y)` is sampled 4 x 4 times per pixel.
    void Cover(int x0, int y0, int x1, int y1, const std::function<bool(double, double)>& inside,
               const Shader& shader);
    Image& p_;
};

// Outline of a polygon grown outward by `by` pixels (about its centroid).
std::vector<Point> Grow(const std::vector<Point>& points, double by);
std::vector<Point> Rotate(const std::vector<Point>& points, double cx, double cy, int quarterTurns);

} // namespace tappo::tools
