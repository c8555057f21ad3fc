// Any bytes as a settings file: reading never fails other than with a
// message, and a file that is taken, written out again and read back gives
// the same channels byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings_file.h"

using namespace sunblind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ParsedSettingsFile parsed = ParseSettingsFile(std::string(reinterpret_cast<const char*>(data), size));
    if (!parsed.file) {
        if (parsed.error.message.empty()) std::abort();  // refused without saying why
        return 0;
    }
    const ParsedSettingsFile again = ParseSettingsFile(FormatSettingsFile(*parsed.file));
    if (!again.file || again.file->channels != parsed.file->channels) {
        std::fprintf(stderr, "written out and read back, the channels differ: %s\n",
                     again.file ? "" : again.error.message.c_str());
        std::abort();
    }
    return 0;
}
