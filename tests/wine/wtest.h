// A small test harness in the manner of Wine's own tests: ok() checks a
// condition and reports the caller's file and line with a printf message;
// each test program lists its test functions at its foot with WTEST_MAIN.
#pragma once
#include <windows.h>
#include <cstdio>

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

}  // namespace wtest

#define ok(cond, ...) wtest::check(__FILE__, __LINE__, (cond), __VA_ARGS__)
// For helpers that report at their caller's line, passed in as `line`.
#define ok_line(line, cond, ...) wtest::check(__FILE__, (line), (cond), __VA_ARGS__)

#define WTEST_MAIN(...)                                                   \
    int main() {                                                          \
        static const wtest::Case cases[] = {__VA_ARGS__};                 \
        return wtest::run(cases, sizeof(cases) / sizeof(cases[0]));       \
    }
#define WTEST(fn) wtest::Case{#fn, fn}
