// Helpers shared by the Windows tests: files and folders, the tool's test
// classes in the registry, and a look at the system calls a program makes.
// Text is UTF-8 here and UTF-16 to Windows, as in the network tool.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "wide.h"
#include "winfiles.h"
#include "wtest.h"

namespace testutil {

using brhost::Utf8;
using brhost::Wide;
using wtest::SetValue;

// A program ID that no real node has, so only the tests' own classes match.
constexpr char kTestProgramId[] = "01 B2 1C E5 77 3A 90 4D";
// The stand-in plug-in built next to the tests.
constexpr char kFakeClsid[] = "{6A1E4F0B-2C37-4D52-9E88-0B5D2A1C7F01}";

inline void DeleteClass(const std::string& clsid) { wtest::DeleteKey("CLSID\\" + clsid); }

// A class whose Node\ProgramID names programId, served by module.
inline bool RegisterClass(const std::string& clsid, const std::string& module, const std::string& programId) {
    const std::string base = "CLSID\\" + clsid;
    return wtest::SetValue(base + "\\InprocServer32", module) &&
           wtest::SetValue(base + "\\InprocServer32", "Apartment", REG_SZ, "ThreadingModel") &&
           wtest::SetValue(base + "\\Node\\ProgramID", programId) && wtest::SetValue(base + "\\Node\\TestID", "%1");
}

inline std::string ExeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string dir = Utf8(path);
    return dir.substr(0, dir.find_last_of("\\/"));
}

// The files in a folder, sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names = brhost::WinFiles().Names(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Removes a folder with all it holds.
inline void RemoveTree(const std::string& dir) {
    std::wstring from = Wide(dir);
    from.push_back(L'\0');  // a list of one, ended by an empty name
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

// A fresh, empty folder in the temporary folder.
inline std::string FreshDir(const std::string& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string dir = Utf8(temp) + "brisel-" + name;
    RemoveTree(dir);
    CreateDirectoryW(Wide(dir).c_str(), nullptr);
    return dir;
}

inline std::string Slurp(const std::string& path) {
    std::string out;
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return out;
    char buffer[65536];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    CloseHandle(file);
    return out;
}

inline void Spit(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD wrote;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    CloseHandle(file);
}

inline bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

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

}  // namespace testutil
