#include "wtest.h"

#include <sddl.h>
#include <usp10.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "wide.h"

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

long EnvNumber(const char* name, long fallback) {
    char text[32] = {};
    if (!GetEnvironmentVariableA(name, text, sizeof text)) return fallback;
    return std::strtol(text, nullptr, 10);
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

std::string Text(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    return brhost::Utf8(text);
}

std::string Text(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

std::string Hex(const std::vector<std::uint8_t>& bytes, size_t from, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = from; i < bytes.size() && i - from < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, brhost::Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string DefaultValue(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, brhost::Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    DWORD size = 0;
    std::wstring value;
    if (RegGetValueW(key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) == ERROR_SUCCESS && size) {
        value.resize(size / sizeof(wchar_t));
        if (RegGetValueW(key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, &value[0], &size) != ERROR_SUCCESS) size = 0;
        value.resize(size / sizeof(wchar_t) ? size / sizeof(wchar_t) - 1 : 0);
    }
    RegCloseKey(key);
    return brhost::Utf8(value);
}

bool SetValue(const std::string& path, const std::string& value, DWORD type, const char* name) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, brhost::Wide(path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring valueName = name ? brhost::Wide(name) : std::wstring();
    const std::wstring text = brhost::Wide(value);
    const DWORD one = 1;
    const LONG rc =
        type == REG_DWORD
            ? RegSetValueExW(key, name ? valueName.c_str() : nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             sizeof one)
            : RegSetValueExW(key, name ? valueName.c_str() : nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool DenyWrites(const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, brhost::Wide(path).c_str(), 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    // Everyone: no KEY_SET_VALUE / KEY_CREATE_SUB_KEY, everything else allowed.
    const bool done = ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x0006;;;WD)(A;;KA;;;WD)",
                                                                           SDDL_REVISION_1, &sd, nullptr) &&
                      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    if (sd) LocalFree(sd);
    RegCloseKey(key);
    return done;
}

void DeleteKey(const std::string& path) {
    const std::wstring wide = brhost::Wide(path);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, wide.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, wide.c_str());
}

namespace {
thread_local WindowWatch* t_watches = nullptr;  // this thread's, newest first
}  // namespace

WindowWatch::WindowWatch(UINT period, std::function<void(HWND)> visit)
    : m_visit(std::move(visit)), m_timer(SetTimer(nullptr, 0, period, &WindowWatch::Tick)), m_next(t_watches) {
    t_watches = this;
}

WindowWatch::~WindowWatch() {
    KillTimer(nullptr, m_timer);
    for (WindowWatch** p = &t_watches; *p; p = &(*p)->m_next)
        if (*p == this) {
            *p = m_next;
            break;
        }
}

void CALLBACK WindowWatch::Tick(HWND, UINT, UINT_PTR id, DWORD) {
    for (WindowWatch* w = t_watches; w; w = w->m_next)
        if (w->m_timer == id) {
            EnumThreadWindows(GetCurrentThreadId(), &WindowWatch::Visit, reinterpret_cast<LPARAM>(w));
            return;
        }
}

BOOL CALLBACK WindowWatch::Visit(HWND hwnd, LPARAM self) {
    if (IsWindowVisible(hwnd)) reinterpret_cast<WindowWatch*>(self)->m_visit(hwnd);
    return TRUE;
}

Closer::Closer(std::string caption, UINT message, WPARAM wParam, LPARAM lParam)
    : m_caption(std::move(caption)), m_message(message), m_wParam(wParam), m_lParam(lParam),
      m_watch(50, [this](HWND hwnd) { Found(hwnd); }) {}

void Closer::Found(HWND hwnd) {
    if (Text(hwnd) != m_caption || GetPropA(hwnd, "wtest.closing")) return;  // not ours, or already asked
    SetPropA(hwnd, "wtest.closing", reinterpret_cast<HANDLE>(1));
    if (texts.empty()) {
        struct Each {
            static BOOL CALLBACK Child(HWND child, LPARAM out) {
                const std::string text = Text(child);
                if (!text.empty()) reinterpret_cast<std::vector<std::string>*>(out)->push_back(text);
                return TRUE;
            }
        };
        EnumChildWindows(hwnd, Each::Child, reinterpret_cast<LPARAM>(&texts));
    }
    if (onFound) onFound(hwnd);
    ++closed;
    PostMessageA(hwnd, m_message, m_wParam, m_lParam);
}

ScriptCachePins::ScriptCachePins() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    m_active = ntdll && GetProcAddress(ntdll, "wine_get_version");
}

ScriptCachePins::~ScriptCachePins() {
    for (void* cache : m_caches) ScriptFreeCache(&cache);
}

void ScriptCachePins::Hold(HDC dc) {
    LOGFONTW font = {};
    if (!GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font)) return;
    for (const LOGFONTW& f : m_fonts)
        if (std::memcmp(&f, &font, sizeof font) == 0) return;
    SCRIPT_CACHE cache = nullptr;
    long height = 0;
    if (ScriptCacheGetHeight(dc, &cache, &height) != S_OK || !cache) return;
    m_fonts.push_back(font);
    m_caches.push_back(cache);
}

BOOL CALLBACK ScriptCachePins::Each(HWND hwnd, LPARAM self) {
    ScriptCachePins& pins = *reinterpret_cast<ScriptCachePins*>(self);
    if (HDC dc = GetDC(hwnd)) {
        pins.Hold(dc);  // the DC's own font
        if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0))) {
            const HGDIOBJ old = SelectObject(dc, font);
            pins.Hold(dc);
            SelectObject(dc, old);
        }
        ReleaseDC(hwnd, dc);
    }
    return TRUE;
}

void ScriptCachePins::Walk(HWND top) {
    if (!m_active) return;
    Each(top, reinterpret_cast<LPARAM>(this));
    EnumChildWindows(top, &ScriptCachePins::Each, reinterpret_cast<LPARAM>(this));
}

}  // namespace wtest
