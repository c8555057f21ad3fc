#include "discovery.h"

#include <cctype>
#include <sstream>

namespace brmodel {

const char kProgramId[] = "94 4B 61 6C 64 6F 72 2E";

namespace {

bool Bytes(const std::string& text, std::vector<int>& out) {
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
            !std::isxdigit(static_cast<unsigned char>(token[1])))
            return false;
        out.push_back(std::stoi(token, nullptr, 16));
    }
    return out.size() == 8;
}

}  // namespace

bool SameProgramId(const std::string& a, const std::string& b) {
    std::vector<int> x, y;
    return Bytes(a, x) && Bytes(b, y) && x == y;
}

bool IsClsidText(const std::string& key) {
    static const char pattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (key.size() != sizeof pattern - 1) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (pattern[i] == 'X') {
            if (!std::isxdigit(static_cast<unsigned char>(key[i]))) return false;
        } else if (key[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> FindPlugins(const RegistryView& view, const std::string& programId) {
    std::vector<std::string> found;
    for (const std::string& key : view.SubKeys("CLSID")) {
        if (!IsClsidText(key)) continue;
        const auto value = view.DefaultValue("CLSID\\" + key + "\\Node\\ProgramID");
        if (value && SameProgramId(*value, programId)) found.push_back(key);
    }
    return found;
}

}  // namespace brmodel
