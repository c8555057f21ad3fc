#include "winregistry.h"

#include "fw/handles.h"
#include "wide.h"

namespace brhost {

std::vector<std::string> Win32Registry::SubKeys(const std::string& path) const {
    std::vector<std::string> names;
    unique_hkey key;
    if (RegOpenKeyExW(m_root, Wide(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = sizeof name / sizeof name[0];
        const LONG rc = RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // no class key has a name this long
        if (rc != ERROR_SUCCESS) break;
        names.push_back(Utf8(std::wstring(name, size)));
    }
    return names;
}

std::optional<std::string> Win32Registry::DefaultValue(const std::string& path) const {
    unique_hkey key;
    if (RegOpenKeyExW(m_root, Wide(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size >= 8192)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &got) !=
        ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), got / sizeof(wchar_t)));
    return Utf8(text);
}

}  // namespace brhost
