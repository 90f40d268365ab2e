// Decimal rounding of a double: scale by 10^places, round halves away from zero, scale back. Works
// on the binary value, so 1.005 to two places gives 1.0. Negative places round to tens, hundreds...
#pragma once

namespace extensions {

double rounded(double value, int toPlaces);

} // namespace extensions
