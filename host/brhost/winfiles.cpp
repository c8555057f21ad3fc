#include "winfiles.h"

#include <algorithm>
#include <cstdio>

#include "wide.h"

namespace brhost {

namespace {

bool Failed(std::string& error) {
    error = SystemMessage(GetLastError());
    return false;
}

// A node file has many spellings: relative, with "..", with the short 8.3
// names of its folders or its own, in another case. The lock is named from
// the full long path of the folder and the file's own long name, so every
// spelling of one file meets the same lock (the file system ignores case).
std::wstring LockPath(const std::string& nodeFile) {
    const std::wstring given = Wide(nodeFile);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (!n) return given + L".lock";
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n);
    }
    const auto slash = full.find_last_of(L'\\');
    if (slash == std::wstring::npos) return full + L".lock";
    std::wstring folder = full.substr(0, slash), name = full.substr(slash + 1);
    std::wstring longFolder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetLongPathNameW(folder.c_str(), &longFolder[0], static_cast<DWORD>(longFolder.size()));
        if (!n) break;  // keep the full spelling
        if (n < longFolder.size()) {
            longFolder.resize(n);
            folder = longFolder;
            break;
        }
        longFolder.resize(n);
    }
    WIN32_FIND_DATAW found;
    const bool plain = name.find_first_of(L"*?") == std::wstring::npos;
    if (plain && unique_find(AsOwnedFile(FindFirstFileW(full.c_str(), &found)))) name = found.cFileName;
    return folder + L"\\" + name + L".lock";
}

}  // namespace

bool WinFiles::Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WinFiles::Read(const std::string& path, std::size_t limit, std::string& out, std::string& error) {
    const unique_file file(AsOwnedFile(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return Failed(error);
    out.clear();
    char buffer[16384];
    bool okay = true;
    while (out.size() <= limit) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            okay = Failed(error);
            break;
        }
        if (!got) break;
        out.append(buffer, got);
    }
    if (out.size() > limit + 1) out.resize(limit + 1);
    return okay;
}

bool WinFiles::MakeFolders(const std::string& folder, std::string& error) {
    const std::wstring wide = Wide(folder);
    if (wide.empty()) return true;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        error = "a file of that name is in the way";
        return false;
    }
    // The parent first; stop at a drive ("C:") or share root.
    const auto slash = folder.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && folder[slash - 1] != ':' && folder[slash - 1] != '\\' &&
        !MakeFolders(folder.substr(0, slash), error))
        return false;
    if (CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    return Failed(error);
}

bool WinFiles::CreateNew(const std::string& path, std::string& error) {
    if (m_file) return error = "another file is open", false;
    m_file.reset(AsOwnedFile(
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    return m_file || Failed(error);
}

bool WinFiles::Write(const std::string& data, std::string& error) {
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
        DWORD wrote = 0;
        if (!WriteFile(m_file.get(), data.data() + done, chunk, &wrote, nullptr)) return Failed(error);
        if (!wrote) return error = "nothing written", false;
        done += wrote;
    }
    return true;
}

bool WinFiles::Flush(std::string& error) { return FlushFileBuffers(m_file.get()) || Failed(error); }

// Closed here rather than by the owner, so that a failed close is reported.
bool WinFiles::Close(std::string& error) { return CloseHandle(m_file.release()) || Failed(error); }

bool WinFiles::Replace(const std::string& from, const std::string& to, std::string& error) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           Failed(error);
}

bool WinFiles::Remove(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

std::vector<std::string> WinFiles::Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const unique_find find(
        AsOwnedFile(FindFirstFileW(Wide((folder.empty() ? std::string(".") : folder) + "\\*").c_str(), &found)));
    if (!find) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Utf8(found.cFileName));
    } while (FindNextFileW(find.get(), &found));
    return names;
}

std::string WinFiles::UniqueTag() {
    char tag[48];
    std::snprintf(tag, sizeof tag, "%lX-%lX-%X", GetCurrentProcessId(), GetTickCount(), ++m_count);
    return tag;
}

bool NodeLock::Acquire(const std::string& nodeFile, std::string& error) {
    Release();
    const std::wstring lock = LockPath(nodeFile);
    const std::string path = Utf8(lock);
    // Closing the handle deletes the lock.
    m_handle.reset(AsOwnedFile(CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr)));
    if (m_handle) return true;
    const DWORD code = GetLastError();
    // A lock being deleted by a tool that is closing answers "access denied".
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
        (code == ERROR_ACCESS_DENIED && GetFileAttributesW(lock.c_str()) != INVALID_FILE_ATTRIBUTES))
        error = nodeFile + " is in use by another network tool. Close that one first, or choose another node file "
                           "with --node.";
    else
        error = path + ": cannot lock the node file: " + SystemMessage(code);
    return false;
}

}  // namespace brhost
