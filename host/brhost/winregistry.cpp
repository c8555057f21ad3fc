#include "winregistry.h"

namespace brhost {

std::vector<std::string> Win32Registry::SubKeys(const std::string& path) const {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(m_root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        const LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // no class key has a name this long
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}

std::optional<std::string> Win32Registry::DefaultValue(const std::string& path) const {
    HKEY key;
    if (RegOpenKeyExA(m_root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::string> value;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size < 4096) {
        std::string text(size + 1, '\0');
        DWORD got = size;
        if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &got) ==
            ERROR_SUCCESS) {
            text.resize(strnlen(text.c_str(), got));
            value = text;
        }
    }
    RegCloseKey(key);
    return value;
}

}  // namespace brhost
