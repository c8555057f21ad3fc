// Brisel Settings: BriselSettings.exe [settings file]
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include "deskapp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc > 2) {
        MessageBoxW(nullptr, L"Usage: BriselSettings.exe [settings file]", L"Brisel Settings", MB_OK | MB_ICONWARNING);
        if (argv) LocalFree(argv);
        return 2;
    }
    const std::wstring path = argc == 2 ? argv[1] : L"";
    LocalFree(argv);

    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (FAILED(OleInitialize(nullptr))) return 1;
    int code = 1;
    try {
        code = RunDesk(path);
    } catch (...) {  // want of memory: nothing half-written stays (files are replaced whole)
        MessageBoxW(nullptr, L"Brisel Settings ran out of memory. The file was not written.", L"Brisel Settings",
                    MB_OK | MB_ICONERROR);
    }
    OleUninitialize();
    return code;
}
