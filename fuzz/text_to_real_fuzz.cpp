// Arbitrary bytes as an edit's text: TextToReal must agree with glibc's
// strtod in the "C" locale (what atof does there) and never crash.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include "sunblind_items.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string text(reinterpret_cast<const char*>(data), size);  // stops at a NUL as C does
    const double got = sunblind::TextToReal(text.c_str());
    const double want = strtod_l(text.c_str(), nullptr, c);
    const bool same = std::isnan(want) ? std::isnan(got) && std::signbit(got) == std::signbit(want)
                                       : std::memcmp(&got, &want, sizeof got) == 0;
    if (!same) {
        std::fprintf(stderr, "TextToReal %a, strtod %a\n", got, want);
        std::abort();
    }
    return 0;
}
