#include "text.h"

#include "handles.h"

namespace {

std::wstring Convert(UINT page, DWORD flags, const std::string& text, bool& okay) {
    okay = true;
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(page, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return okay = false, std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(page, flags, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

}  // namespace

std::wstring AfxWideFromUtf8(const std::string& utf8) {
    bool okay;
    return Convert(CP_UTF8, 0, utf8, okay);
}

std::string AfxUtf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring AfxWideFromBytes(const std::string& bytes) {
    bool okay;
    std::wstring out = Convert(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, okay);
    return okay ? out : Convert(CP_ACP, 0, bytes, okay);
}

std::string AfxSystemWords(DWORD code) {
    unique_local<wchar_t> text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    std::string out = text ? AfxUtf8FromWide(text.get()) : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

std::string AfxQuotedPath(const std::wstring& path) { return "\"" + AfxUtf8FromWide(path) + "\""; }

std::wstring AfxFileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

std::string AfxSystemMessage(DWORD code) {
    const std::string words = AfxSystemWords(code);
    return words.empty() ? "error " + std::to_string(code) : words;
}
