#include "wtest.h"

#include <cstring>

#include <cstdarg>

namespace wtest {

int g_passed = 0;
int g_failed = 0;
int g_skipped = 0;
const char* g_current = "";

bool check(const char* file, int line, bool cond, const char* fmt, ...) {
    if (cond) {
        ++g_passed;
        return true;
    }
    ++g_failed;
    const char* base = file;
    for (const char* p = file; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    std::printf("%s:%d: %s: Test failed: ", base, line, g_current);
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    std::printf("\n");
    std::fflush(stdout);
    return false;
}

void skip(const char* what, const char* why) {
    ++g_skipped;
    std::printf("SKIP: %s: %s (%s)\n", g_current, what, why);
    std::fflush(stdout);
}

bool emulated() {
#if defined(__i386__)
    char mode[16] = {};
    return GetEnvironmentVariableA("BRISEL_WIN32", mode, sizeof mode) > 0 && lstrcmpA(mode, "emulated") == 0;
#else
    return false;
#endif
}

int run(const Case* cases, int count) {
    // WTEST_ONLY=text runs only the cases whose name holds text (by hand).
    char only[128] = {};
    GetEnvironmentVariableA("WTEST_ONLY", only, sizeof only);
    for (int i = 0; i < count; ++i) {
        if (only[0] && !std::strstr(cases[i].name, only)) continue;
        g_current = cases[i].name;
        const int before = g_failed;
        const DWORD start = GetTickCount();
        cases[i].fn();
        std::printf("%s %s (%lu ms)\n", g_failed == before ? "ok  " : "FAIL", cases[i].name,
                    static_cast<unsigned long>(GetTickCount() - start));
        std::fflush(stdout);
    }
    // The line scripts/test.sh collects: this program's own checks.
    if (g_skipped)
        std::printf("checks: %d passed, %d failed, %d skipped\n", g_passed, g_failed, g_skipped);
    else
        std::printf("checks: %d passed, %d failed\n", g_passed, g_failed);
    std::fflush(stdout);
    return g_failed ? 1 : 0;
}

void pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

}  // namespace wtest
