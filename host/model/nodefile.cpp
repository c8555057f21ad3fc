#include "nodefile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace brmodel {

namespace {

const char kHeader[] =
    "# Brisel simulated node. \"name: TEXT\" is the node's name (at most 50 bytes);\n"
    "# \"item N: HEX\" is item N's bytes, two hex digits each (at most 32; missing\n"
    "# trailing bytes are zero). Every item must be given once. Lines starting\n"
    "# with # are ignored; the decoded settings below are for reading only.\n";

std::string Trim(const std::string& s) {
    const char* ws = " \t\r";
    const auto a = s.find_first_not_of(ws);
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(ws) - a + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Describe(const Items& items, int n) {
    const Settings s = GetSettings(items, n);
    char text[300];
    std::snprintf(text, sizeof text,
                  "# sunblind %d: top down time %.1f s, lux %s, down %u lux after %.1f s, up %u lux after %.1f s,\n"
                  "#   push long %.1f s short %.1f s, level source %d, override source %d, top %.1f %%, bottom %.1f %%\n",
                  n, s.topDownTime, s.commonLux ? "common" : "local", s.downSetpoint, s.timeBeforeDown,
                  s.upSetpoint, s.timeBeforeUp, s.pushTimeLong, s.pushTimeShort, s.levelSource, s.overrideSource,
                  s.topLevel, s.bottomLevel);
    return text;
}

}  // namespace

std::string FormatImage(const Image& image) {
    std::ostringstream out;
    out << kHeader << "name: " << image.name << "\n";
    for (const auto& [index, bytes] : image.items) {
        out << "item " << index << ":";
        char hex[4];
        for (std::size_t i = 0; i < kItemSize; ++i) {
            std::snprintf(hex, sizeof hex, " %02X", i < bytes.size() ? bytes[i] : 0);
            out << hex;
        }
        out << "\n";
    }
    for (int n = 1; n <= 4; ++n) out << Describe(image.items, n);
    return out.str();
}

bool ParseImage(const std::string& text, Image& out, std::string& error) {
    Image image;
    bool haveName = false;
    std::set<long> known(AllItems().begin(), AllItems().end());
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        error = lineNo ? "line " + std::to_string(lineNo) + ": " + what : what;
        return false;
    };
    if (text.find('\0') != std::string::npos) return fail("contains a zero byte; not a node file");
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.compare(0, 5, "name:") == 0) {
            if (haveName) return fail("the name is given twice");
            std::string name = raw.substr(raw.find(':') + 1);
            if (!name.empty() && name[0] == ' ') name.erase(0, 1);
            while (!name.empty() && name.back() == '\r') name.pop_back();
            if (name.size() > kNameSize) return fail("the name is longer than 50 bytes");
            image.name = name;
            haveName = true;
            continue;
        }
        if (line.compare(0, 5, "item ") == 0) {
            const auto colon = line.find(':');
            if (colon == std::string::npos) return fail("expected \"item N: HEX BYTES\"");
            const std::string number = Trim(line.substr(5, colon - 5));
            char* end = nullptr;
            errno = 0;
            const long index = std::strtol(number.c_str(), &end, 10);
            if (number.empty() || *end || errno) return fail("\"" + number + "\" is not an item number");
            if (!known.count(index)) return fail("item " + number + " is not an item of this node");
            if (image.items.count(index)) return fail("item " + number + " is given twice");
            Bytes bytes;
            std::istringstream tokens(line.substr(colon + 1));
            std::string token;
            while (tokens >> token) {
                if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0)
                    return fail("\"" + token + "\" is not a byte (two hex digits)");
                if (bytes.size() == kItemSize) return fail("item " + number + " has more than 32 bytes");
                bytes.push_back(static_cast<std::uint8_t>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
            }
            if (bytes.empty()) return fail("item " + number + " has no bytes");
            bytes.resize(kItemSize, 0);
            image.items[index] = std::move(bytes);
            continue;
        }
        return fail("expected \"name: TEXT\" or \"item N: HEX BYTES\", found \"" + line.substr(0, 40) + "\"");
    }
    lineNo = 0;
    if (!haveName) return fail("no \"name:\" line");
    for (long index : AllItems())
        if (!image.items.count(index)) return fail("item " + std::to_string(index) + " is missing");
    out = std::move(image);
    return true;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::u8path(path), ec);
}

bool LoadImage(const std::string& path, Image& out, std::string& error) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot read";
        return false;
    }
    std::string why;
    if (!ParseImage(text.str(), out, why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

bool SaveImage(const std::string& path, const Image& image, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target = fs::u8path(path);
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(fs::u8path(temp), std::ios::binary | std::ios::trunc);
        if (!out) {
            error = temp + ": cannot create: " + std::strerror(errno);
            return false;
        }
        out << FormatImage(image);
        out.flush();
        if (!out) {
            error = temp + ": cannot write";
            out.close();
            fs::remove(fs::u8path(temp), ec);
            return false;
        }
    }
#ifdef _WIN32
    const bool moved = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    const std::string why = moved ? "" : "error " + std::to_string(GetLastError());
#else
    const bool moved = std::rename(temp.c_str(), path.c_str()) == 0;
    const std::string why = moved ? "" : std::strerror(errno);
#endif
    if (!moved) {
        error = path + ": cannot replace with " + temp + ": " + why;
        fs::remove(fs::u8path(temp), ec);
        return false;
    }
    return true;
}

}  // namespace brmodel
