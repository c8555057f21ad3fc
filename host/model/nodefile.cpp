#include "nodefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

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
        // A byte-order mark, as editors such as Notepad save UTF-8 with.
        if (lineNo == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
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

const char* StepName(SaveStep step) {
    switch (step) {
    case SaveStep::Create: return "create";
    case SaveStep::Write: return "write";
    case SaveStep::Flush: return "flush";
    case SaveStep::Close: return "close";
    case SaveStep::Replace: return "replace";
    }
    return "?";
}

bool ParseStep(const std::string& name, SaveStep& out) {
    for (SaveStep s : {SaveStep::Create, SaveStep::Write, SaveStep::Flush, SaveStep::Close, SaveStep::Replace})
        if (name == StepName(s)) return out = s, true;
    return false;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string NodeFileOf(const std::string& first, int number) {
    if (number == 1) return first;
    const std::size_t nameAt = first.size() - NameOf(first).size();
    std::size_t dot = first.find_last_of('.');
    // A dot in a folder's name, or one that starts the file's name, is no extension.
    if (dot == std::string::npos || dot <= nameAt) dot = first.size();
    return first.substr(0, dot) + std::to_string(number) + first.substr(dot);
}

std::string TempFor(const std::string& target, const std::string& tag) { return target + ".brisel-" + tag + ".tmp"; }

bool IsTempOf(const std::string& name, const std::string& targetName) {
    const std::string head = targetName + ".brisel-", tail = ".tmp";
    if (name == targetName + tail) return true;
    return name.size() > head.size() + tail.size() && name.compare(0, head.size(), head) == 0 &&
           name.compare(name.size() - tail.size(), tail.size(), tail) == 0 &&
           name.find_first_of(".\\/", head.size()) == name.size() - tail.size();
}

bool LoadNodeFile(Files& files, const std::string& path, Image& out, std::string& error) {
    std::string text, why;
    if (!files.Read(path, kMaxNodeFile, text, why)) {
        error = path + ": cannot read: " + why;
        return false;
    }
    if (text.size() > kMaxNodeFile) {
        error = path + ": larger than 64 KB, which no node file is; not read";
        return false;
    }
    if (!ParseImage(text, out, why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

bool WriteAtomically(Files& files, const std::string& path, const std::string& data, std::string& error,
                     const AfterStep& after) {
    const std::string folder = FolderOf(path);
    std::string why;
    if (!folder.empty() && !files.MakeFolders(folder, why)) {
        error = folder + ": cannot create the folder: " + why;
        return false;
    }
    std::string temp;
    for (int attempt = 0;; ++attempt) {
        temp = TempFor(path, files.UniqueTag());
        if (files.CreateNew(temp, why)) break;
        if (attempt == 8 || !files.Exists(temp)) {
            error = temp + ": cannot create: " + why;
            return false;
        }
    }
    auto step = [&](SaveStep s) {
        if (after) after(s);
    };
    // Once created, every failure closes and removes the temporary.
    auto fail = [&](const char* what, bool open) {
        error = temp + ": cannot " + what + ": " + why;
        std::string ignored;
        if (open) files.Close(ignored);
        files.Remove(temp);
        return false;
    };
    step(SaveStep::Create);
    if (!files.Write(data, why)) return fail("write", true);
    step(SaveStep::Write);
    if (!files.Flush(why)) return fail("flush to the disk", true);
    step(SaveStep::Flush);
    if (!files.Close(why)) return fail("close", false);
    step(SaveStep::Close);
    if (!files.Replace(temp, path, why)) {
        fail("rename", false);
        error = path + ": cannot replace with " + temp + ": " + why;
        return false;
    }
    step(SaveStep::Replace);
    return true;
}

bool SaveNodeFile(Files& files, const std::string& path, const Image& image, std::string& error,
               const AfterStep& after) {
    return WriteAtomically(files, path, FormatImage(image), error, after);
}

int RemoveStaleTemps(Files& files, const std::string& target) {
    const std::string folder = FolderOf(target), name = NameOf(target);
    int removed = 0;
    for (const std::string& file : files.Names(folder))
        if (IsTempOf(file, name) && files.Remove(folder.empty() ? file : folder + target.substr(folder.size(), 1) + file))
            ++removed;
    return removed;
}

}  // namespace brmodel
