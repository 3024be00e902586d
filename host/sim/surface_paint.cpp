#include "host/sim/surface_paint.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace Sim {

namespace {

struct Point {
    double x, y;
};

constexpr int kCurveSegments = 24;

// The path as polylines, one per subpath.
std::vector<std::vector<Point>> polylines(const std::vector<PathStep>& path) {
    std::vector<std::vector<Point>> lines;
    auto current = [&]() -> std::vector<Point>& {
        if (lines.empty()) lines.emplace_back();
        return lines.back();
    };
    for (const PathStep& step : path) {
        const std::vector<float>& v = step.values;
        switch (step.op) {
            case 'M': lines.push_back({{v[0], v[1]}}); break;
            case 'L': current().push_back({v[0], v[1]}); break;
            case 'C': {
                std::vector<Point>& line = current();
                const Point p0 = line.empty() ? Point{v[4], v[5]} : line.back();
                for (int i = 1; i <= kCurveSegments; ++i) {
                    const double t = double(i) / kCurveSegments, s = 1 - t;
                    const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
                    line.push_back(
                        {a * p0.x + b * v[0] + c * v[2] + d * v[4], a * p0.y + b * v[1] + c * v[3] + d * v[5]});
                }
                break;
            }
            case 'R':
                lines.push_back(
                    {{v[0], v[1]}, {v[0] + v[2], v[1]}, {v[0] + v[2], v[1] + v[3]}, {v[0], v[1] + v[3]}, {v[0], v[1]}});
                break;
            case 'Z':
                if (!current().empty()) current().push_back(current().front());
                break;
            default: break;
        }
    }
    return lines;
}

double distanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

}  // namespace

void paintStrokes(const Window& window, Image& image) {
    if (image.format() != PF_PixelFormat_ARGB32) throw std::invalid_argument("strokes are painted on 8-bit images");
    for (const DrawCall& call : window.calls()) {
        if (call.function != "StrokePath" || call.numbers.size() < 5) continue;
        const double red = call.numbers[0], green = call.numbers[1], blue = call.numbers[2];
        const double alpha = std::clamp(call.numbers[3], 0.0, 1.0);
        const double half = call.numbers[4] / 2;
        // Coverage per pixel for the whole path, so its segments' joints are not painted twice.
        std::vector<float> coverage(size_t(image.width()) * size_t(image.height()), 0.0f);
        for (const std::vector<Point>& line : polylines(call.path)) {
            for (size_t i = 0; i + 1 < line.size(); ++i) {
                const Point a = line[i], b = line[i + 1];
                const int x0 = std::max(0, int(std::floor(std::min(a.x, b.x) - half - 1)));
                const int x1 = std::min(image.width() - 1, int(std::ceil(std::max(a.x, b.x) + half + 1)));
                const int y0 = std::max(0, int(std::floor(std::min(a.y, b.y) - half - 1)));
                const int y1 = std::min(image.height() - 1, int(std::ceil(std::max(a.y, b.y) + half + 1)));
                for (int y = y0; y <= y1; ++y) {
                    for (int x = x0; x <= x1; ++x) {
                        const double d = distanceToSegment({x + 0.5, y + 0.5}, a, b);
                        const float cover = float(std::clamp(half + 0.5 - d, 0.0, 1.0));
                        float& kept = coverage[size_t(y) * size_t(image.width()) + size_t(x)];
                        kept = std::max(kept, cover);
                    }
                }
            }
        }
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const double k = alpha * coverage[size_t(y) * size_t(image.width()) + size_t(x)];
                if (k <= 0) continue;
                PF_Pixel& pixel = image.at<PF_Pixel>(x, y);
                auto mix = [k](uint8_t under, double over) {
                    return uint8_t(std::lround(under * (1 - k) + over * 255 * k));
                };
                pixel.red = mix(pixel.red, red);
                pixel.green = mix(pixel.green, green);
                pixel.blue = mix(pixel.blue, blue);
                pixel.alpha = mix(pixel.alpha, 1.0);
            }
        }
    }
}

}  // namespace Sim
