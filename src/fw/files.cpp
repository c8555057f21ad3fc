#include "files.h"

#include "handles.h"

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
