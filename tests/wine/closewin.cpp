// closewin CAPTION TIMEOUT_MS MARKER: waits for a top-level window with the
// caption (in any process of the prefix), prints its child windows' texts,
// leaves it open half a second, creates the file MARKER and then presses its
// OK button. Exit code 0 when the window was found and closed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static BOOL CALLBACK PrintText(HWND child, LPARAM) {
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) std::printf("text: %s\n", text);
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: closewin CAPTION TIMEOUT_MS MARKER\n");
        return 2;
    }
    const DWORD timeout = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const DWORD start = GetTickCount();
    HWND hwnd = nullptr;
    while (!(hwnd = FindWindowA(nullptr, argv[1])) || !IsWindowVisible(hwnd)) {
        if (GetTickCount() - start > timeout) {
            std::printf("not found: %s\n", argv[1]);
            return 1;
        }
        Sleep(50);
    }
    EnumChildWindows(hwnd, PrintText, 0);
    Sleep(500);
    if (!IsWindow(hwnd)) {
        std::printf("closed by itself\n");
        return 1;
    }
    HANDLE marker = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDOK)));
    for (int i = 0; i < 100 && IsWindow(hwnd); ++i) Sleep(50);
    std::printf(IsWindow(hwnd) ? "still open\n" : "closed\n");
    std::fflush(stdout);
    return IsWindow(hwnd) ? 1 : 0;
}
