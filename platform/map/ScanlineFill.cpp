#include "platform/map/ScanlineFill.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

std::vector<FillSpan> ScanlineFill::spans(const std::vector<MapShape>& shapes, Size viewSize) {
    std::vector<FillSpan> result;
    if (viewSize.isEmpty()) return result;
    const int rows = static_cast<int>(std::ceil(viewSize.height));
    const double width = viewSize.width;
    // Crossings per row, reused between shapes; only rows a shape touched are revisited.
    std::vector<std::vector<double>> crossings(static_cast<size_t>(rows));
    std::vector<int> touched;

    for (const MapShape& shape : shapes) {
        touched.clear();
        for (const MapRing& ring : shape.rings) {
            if (ring.size() < 3) continue;
            Point a = ring.back();
            for (const Point& b : ring) {
                if (std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y) &&
                    a.y != b.y) {
                    // Rows whose middle (r + 0.5) lies in [min y, max y): half-open, so a vertex
                    // shared by two edges is counted once.
                    double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
                    int first = std::max(0, static_cast<int>(std::ceil(std::max(lo - 0.5, -1.0))));
                    int last =
                        std::min(rows - 1, static_cast<int>(std::ceil(std::min(hi - 0.5, double(rows)))) - 1);
                    for (int r = first; r <= last; ++r) {
                        double y = r + 0.5;
                        double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
                        auto& row = crossings[static_cast<size_t>(r)];
                        if (row.empty()) touched.push_back(r);
                        row.push_back(x);
                    }
                }
                a = b;
            }
        }
        std::sort(touched.begin(), touched.end());
        for (int r : touched) {
            auto& row = crossings[static_cast<size_t>(r)];
            std::sort(row.begin(), row.end());
            for (size_t i = 0; i + 1 < row.size(); i += 2) {
                double x0 = std::max(row[i], 0.0), x1 = std::min(row[i + 1], width);
                if (x0 < x1) result.push_back(FillSpan{r, x0, x1});
            }
            row.clear();
        }
    }
    return result;
}

} // namespace plat::map
