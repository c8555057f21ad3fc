// Text <-> number, independent of the process locale. No Win32 here.
#pragma once

#include <string>

namespace sunblind {

// TextToReal converts as atof does in the "C" locale: leading white space,
// the longest numeric prefix (decimal, "0x" hexadecimal, inf, infinity, nan,
// nan(...)), 0.0 when there is none or text is null. Correctly rounded; a
// value beyond the double range gives +-HUGE_VAL, one below the smallest
// denormal gives +-0.0, as strtod does.
double TextToReal(const char* text);

}  // namespace sunblind
