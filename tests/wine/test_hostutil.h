// Helpers shared by the host's Windows tests: classes registered for the
// duration of a test, files and folders.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

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

inline std::string ExeDir() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of("\\/"));
}

inline void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

// A fresh, empty folder in the temporary folder.
inline std::string FreshDir(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "brisel-" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void Spit(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace hosttest
