#include "app/extensions/DoubleRounding.h"

#include <cmath>

namespace extensions {

double rounded(double value, int toPlaces) {
    const double scale = std::pow(10.0, toPlaces);
    return std::round(value * scale) / scale;
}

} // namespace extensions
