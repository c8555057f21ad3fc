#include "files.h"

#include "handles.h"

namespace {

std::wstring ToWide(UINT page, DWORD flags, const std::string& bytes) {
    const int n = bytes.empty() ? 0
                                : MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (n) MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    return wide;
}

}  // namespace

std::wstring AfxWideFromUtf8(const std::string& utf8) { return ToWide(CP_UTF8, 0, utf8); }

std::wstring AfxWideFromBytes(const std::string& bytes) {
    const bool utf8 = bytes.empty() || !ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, bytes).empty();
    return ToWide(utf8 ? CP_UTF8 : CP_ACP, 0, bytes);
}

std::string AfxUtf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::string AfxSystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = n ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ' ||
                              words.back() == L'.'))
        words.pop_back();
    if (words.empty()) return "error " + std::to_string(code);
    return AfxUtf8FromWide(words);
}

bool AfxReadSmallFile(const std::wstring& path, std::size_t limit, std::string& bytes, std::string& error) {
    unique_file file(AsOwnedFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return error = AfxSystemMessage(GetLastError()), false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return error = AfxSystemMessage(GetLastError()), false;
    if (static_cast<unsigned long long>(size.QuadPart) > limit)
        return error = "the file is larger than " + std::to_string(limit / 1024) + " KB", false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return error = AfxSystemMessage(GetLastError()), false;
        if (!got) break;  // shorter than it was a moment ago
        done += got;
    }
    bytes.resize(done);
    return true;
}

bool AfxWriteFileDurably(const std::wstring& path, const std::string& bytes, std::string& error) {
    wchar_t tag[64];
    wsprintfW(tag, L".brisel-%lX-%lX.tmp", GetCurrentProcessId(), GetTickCount());
    const std::wstring temp = path + tag;
    bool written = false;
    {
        unique_file file(
            AsOwnedFile(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
        if (!file) return error = AfxSystemMessage(GetLastError()), false;
        DWORD wrote = 0;
        written = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                  wrote == bytes.size() && FlushFileBuffers(file.get());
        if (!written) error = AfxSystemMessage(GetLastError());
        if (!CloseHandle(file.release()) && written) written = false, error = AfxSystemMessage(GetLastError());
    }
    if (written && !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = AfxSystemMessage(GetLastError());
    }
    if (!written) DeleteFileW(temp.c_str());
    return written;
}
