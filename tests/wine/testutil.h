// Helpers shared by the host's Windows tests: classes registered for the
// duration of a test, files and folders.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace hosttest {

// A program ID that no real node has, so only the tests' own classes match.
constexpr char kTestProgramId[] = "01 B2 1C E5 77 3A 90 4D";
// The stand-in plug-in built next to the tests.
constexpr char kFakeClsid[] = "{6A1E4F0B-2C37-4D52-9E88-0B5D2A1C7F01}";

inline bool SetValue(const std::string& path, const std::string& value, DWORD type = REG_SZ,
                     const char* name = nullptr) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return false;
    LONG rc;
    if (type == REG_DWORD) {
        const DWORD v = 1;
        rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    } else {
        rc = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

inline void DeleteClass(const std::string& clsid) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
}

// A class whose Node\ProgramID names programId, served by module.
inline bool RegisterClass(const std::string& clsid, const std::string& module, const std::string& programId) {
    const std::string base = "CLSID\\" + clsid;
    return SetValue(base + "\\InprocServer32", module) &&
           SetValue(base + "\\InprocServer32", "Apartment", REG_SZ, "ThreadingModel") &&
           SetValue(base + "\\Node\\ProgramID", programId) && SetValue(base + "\\Node\\TestID", "%1");
}

// Paths are UTF-8 here and UTF-16 to Windows, as in the host.
inline std::wstring W(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], static_cast<int>(out.size()))));
    return out;
}

inline std::string U(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    std::string out(wide.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                            &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

inline std::string ExeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string dir = U(path);
    return dir.substr(0, dir.find_last_of("\\/"));
}

// The names in a folder, files and folders, sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(W(dir + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = U(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

inline void RemoveTree(const std::string& dir) {
    for (const std::string& name : Names(dir)) {
        const std::string path = dir + "\\" + name;
        if (GetFileAttributesW(W(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else DeleteFileW(W(path).c_str());
    }
    RemoveDirectoryW(W(dir).c_str());
}

// A fresh, empty folder in the temporary folder.
inline std::string FreshDir(const std::string& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string dir = U(temp) + "brisel-" + name;
    RemoveTree(dir);
    CreateDirectoryW(W(dir).c_str(), nullptr);
    return dir;
}

inline std::string Slurp(const std::string& path) {
    std::string out;
    HANDLE file = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return out;
    char buffer[65536];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    CloseHandle(file);
    return out;
}

inline void Spit(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD wrote;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    CloseHandle(file);
}

inline bool Exists(const std::string& path) { return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Points this program's import of dll!function at replacement and returns
// what it pointed at (null when the program does not import it), so a test
// can see the system calls the code under test makes.
inline void* PatchImport(const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); dir.Size && d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            DWORD was;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &was);
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, was, &was);
            return original;
        }
    }
    return nullptr;
}

}  // namespace hosttest
