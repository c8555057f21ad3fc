// A small test harness in the manner of Wine's own tests: ok() checks a
// condition and reports the caller's file and line with a printf message;
// each test program lists its test functions at its foot with WTEST_MAIN.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wtest {

struct Case {
    const char* name;
    void (*fn)();
};

extern int g_passed;
extern int g_failed;
extern int g_skipped;
extern const char* g_current;

// Reports one check; returns cond so callers can stop early.
bool check(const char* file, int line, bool cond, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Reports a case, or part of one, that cannot be judged on this platform,
// with the reason; counted apart from passes and failures.
void skip(const char* what, const char* why);

// True in a 32-bit program run under the user-mode emulator (scripts/test.sh
// sets BRISEL_WIN32=emulated there), which computes x87 arithmetic at a
// precision of its own.
bool emulated();

// Runs every case, prints "checks: N passed, N failed[, N skipped]" (the
// line scripts/test.sh collects), returns the exit code.
int run(const Case* cases, int count);

// The number in environment variable `name` (scripts set them for long
// runs), fallback when it is not set.
long EnvNumber(const char* name, long fallback);

// Dispatches the thread's messages for ms milliseconds.
void pump(DWORD ms);

// Dispatches messages until pred() holds or ms have passed; returns pred().
template <class Pred>
bool pump_until(Pred pred, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms) return pred();
        pump(10);
    }
    return true;
}

// A window's text, or a dialog control's, as UTF-8.
std::string Text(HWND hwnd);
std::string Text(HWND dialog, int id);

// Bytes as upper-case hex pairs: n of them from `from` on, all by default.
std::string Hex(const std::vector<std::uint8_t>& bytes, size_t from = 0, size_t n = ~size_t(0));

// The registry under HKEY_CLASSES_ROOT, paths and values in UTF-8.
bool KeyExists(const std::string& path);
// The key's default value; "" when it has none, "<missing>" when the key is absent.
std::string DefaultValue(const std::string& path);
// Creates path and sets its value `name` (the default value when null):
// the text, or with REG_DWORD the number 1.
bool SetValue(const std::string& path, const std::string& value, DWORD type = REG_SZ, const char* name = nullptr);
// Creates path and lets nobody set its values or open it for writing; undo
// with DeleteKey.
bool DenyWrites(const std::string& path);
void DeleteKey(const std::string& path);  // with its sub-keys

// While alive, calls visit from a thread timer every `period` ms for each
// visible top-level window of the thread that made it, which must run a
// message loop (a modal one counts). Watches are per thread: controls in
// several apartments show their windows on their own threads at once, and
// one thread may have several watches. visit must not end its own watch.
// Takes no memory from operator new once made.
class WindowWatch {
public:
    WindowWatch(UINT period, std::function<void(HWND)> visit);
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self);
    std::function<void(HWND)> m_visit;
    UINT_PTR m_timer;
    WindowWatch* m_next;
};

// While alive, closes every visible top-level window of this thread whose
// caption is the given one by posting it `message` (wParam, lParam), once
// per window, every 50 ms: records the texts of the first one's children,
// then calls onFound (which may run the window) before posting.
class Closer {
public:
    Closer(std::string caption, UINT message, WPARAM wParam, LPARAM lParam = 0);
    int closed = 0;
    std::vector<std::string> texts;  // texts of the window's children when first seen
    std::function<void(HWND)> onFound;

private:
    void Found(HWND hwnd);
    std::string m_caption;
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    WindowWatch m_watch;
};

// Keeps Wine's process-wide Uniscribe script cache steady while several
// threads show windows at once. Wine (8.0 to 10.0, gdi32's uniscribe/usp10.c
// init_script_cache and the lazily filled tables of opentype.c and shape.c)
// builds a font's shared entry outside its lock and frees it when the last
// holder lets go; two threads meeting on a new entry corrupt the list (a
// crash in memcmp, heap corruption or a hang). An edit control frees its hold
// constantly, so its fonts' entries are new again and again unless something
// else holds them: this does. The evidence, a program without Brisel, is in
// ../shared/evidence/uniscribe-race/ (README: "Notes on Wine"). Under
// Windows it does nothing; nothing is serialised either way.
class ScriptCachePins {
public:
    ScriptCachePins();  // active only under Wine (ntdll exports wine_get_version)
    ~ScriptCachePins(); // lets every hold go
    ScriptCachePins(const ScriptCachePins&) = delete;
    ScriptCachePins& operator=(const ScriptCachePins&) = delete;
    // Holds the font of `top` and of each of its descendants, and the font
    // a DC of each starts with (an edit draws with it before WM_SETFONT).
    // Call it on the windows' own thread while they are shown.
    void Walk(HWND top);
    size_t held() const { return m_caches.size(); }
    bool active() const { return m_active; }

private:
    static BOOL CALLBACK Each(HWND hwnd, LPARAM self);
    void Hold(HDC dc);
    bool m_active;
    std::vector<LOGFONTW> m_fonts;  // one hold per font, as Wine keys its entries
    std::vector<void*> m_caches;    // SCRIPT_CACHE
};

}  // namespace wtest

#define ok(cond, ...) wtest::check(__FILE__, __LINE__, (cond), __VA_ARGS__)

#define WTEST_MAIN(...)                                                   \
    int main() {                                                          \
        static const wtest::Case cases[] = {__VA_ARGS__};                 \
        return wtest::run(cases, sizeof(cases) / sizeof(cases[0]));       \
    }
#define WTEST(fn) wtest::Case{#fn, fn}
