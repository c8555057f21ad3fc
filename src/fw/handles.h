// Owners of Win32 handles, each released exactly once by the matching call.
#pragma once

#include <windows.h>

template <class H, class Traits>
class unique_handle {
public:
    unique_handle() = default;
    explicit unique_handle(H h) : m_h(h) {}
    ~unique_handle() { reset(); }
    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& o) noexcept : m_h(o.release()) {}
    unique_handle& operator=(unique_handle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }

    H get() const { return m_h; }
    H* put() {
        reset();
        return &m_h;
    }
    explicit operator bool() const { return m_h != nullptr; }
    H release() {
        H h = m_h;
        m_h = nullptr;
        return h;
    }
    void reset(H h = nullptr) {
        if (m_h) Traits::close(m_h);
        m_h = h;
    }

private:
    H m_h = nullptr;
};

struct hkey_traits { static void close(HKEY h) { RegCloseKey(h); } };
struct gdi_traits { static void close(HGDIOBJ h) { DeleteObject(h); } };
struct hdc_traits { static void close(HDC h) { DeleteDC(h); } };

using unique_hkey = unique_handle<HKEY, hkey_traits>;
using unique_hbitmap = unique_handle<HBITMAP, gdi_traits>;
using unique_hpen = unique_handle<HPEN, gdi_traits>;
using unique_hdc = unique_handle<HDC, hdc_traits>;  // from CreateCompatibleDC

struct file_traits { static void close(HANDLE h) { CloseHandle(h); } };
// A file from CreateFileW, whose failure value INVALID_HANDLE_VALUE is held
// as none: unique_file f(AsOwnedFile(CreateFileW(...))).
using unique_file = unique_handle<HANDLE, file_traits>;
inline HANDLE AsOwnedFile(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

struct find_traits { static void close(HANDLE h) { FindClose(h); } };
// A search from FindFirstFileW, which fails as INVALID_HANDLE_VALUE too:
// unique_find f(AsOwnedFile(FindFirstFileW(...))).
using unique_find = unique_handle<HANDLE, find_traits>;

struct local_traits { static void close(void* p) { LocalFree(p); } };
// What the system allocated for the caller and LocalFree frees (the text of
// FormatMessageW's FORMAT_MESSAGE_ALLOCATE_BUFFER, CommandLineToArgvW's array).
template <class T>
using unique_local = unique_handle<T*, local_traits>;

// A window's DC from GetDC (null window: the screen), released with ReleaseDC.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND hwnd) : m_hwnd(hwnd), m_hdc(GetDC(hwnd)) {}
    ~unique_window_dc() {
        if (m_hdc) ReleaseDC(m_hwnd, m_hdc);
    }
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    HDC get() const { return m_hdc; }
    explicit operator bool() const { return m_hdc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};

// A window's painting from BeginPaint, ended with EndPaint.
class unique_paint_dc {
public:
    explicit unique_paint_dc(HWND hwnd) : m_hwnd(hwnd), m_hdc(BeginPaint(hwnd, &m_paint)) {}
    ~unique_paint_dc() { EndPaint(m_hwnd, &m_paint); }
    unique_paint_dc(const unique_paint_dc&) = delete;
    unique_paint_dc& operator=(const unique_paint_dc&) = delete;
    HDC get() const { return m_hdc; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_paint = {};
    HDC m_hdc;
};

// Selects an object into a DC and selects the previous one back on scope exit.
class unique_select_object {
public:
    unique_select_object(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_old(SelectObject(hdc, obj)) {}
    ~unique_select_object() {
        if (m_old && m_old != HGDI_ERROR) SelectObject(m_hdc, m_old);
    }
    unique_select_object(const unique_select_object&) = delete;
    unique_select_object& operator=(const unique_select_object&) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

// The wait cursor while node calls run on the user-interface thread; the
// cursor before it comes back on scope exit.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_previous;
};
