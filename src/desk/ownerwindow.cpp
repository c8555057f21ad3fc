#include "ownerwindow.h"

#include "deskres.h"
#include "fw/text.h"

namespace {
const wchar_t kClass[] = L"BriselSettingsOwner";
}

COwnerWindow::COwnerWindow(const std::wstring& path, std::function<bool()> unsaved) : m_unsaved(std::move(unsaved)) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_DESK));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    // Two lines of text in the client area, whatever the DPI.
    const int margin = MulDiv(8, dpi, 96), line = MulDiv(20, dpi, 96);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, MulDiv(420, dpi, 96), 2 * margin + 2 * line};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    m_hWnd = CreateWindowExW(WS_EX_APPWINDOW, kClass, (AfxFileName(path) + L" - Brisel Settings").c_str(), style,
                             work.left + (work.right - work.left - width) / 2, work.top + margin, width, height,
                             nullptr, nullptr, instance, this);
    if (!m_hWnd) return;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        m_font = CreateFontIndirectW(&metrics.lfMessageFont);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const std::string lines[2] = {"Settings file: " + AfxQuotedPath(path),
                                  "Exit in the settings window asks whether to save them to this file."};
    for (int i = 0; i < 2; ++i) {
        HWND text = CreateWindowExW(0, L"STATIC", AfxWideFromUtf8(lines[i]).c_str(),
                                    WS_CHILD | WS_VISIBLE | SS_NOPREFIX | (i == 0 ? SS_PATHELLIPSIS : SS_ENDELLIPSIS),
                                    margin, margin + i * line, client.right - 2 * margin, line, m_hWnd, nullptr,
                                    instance, nullptr);
        if (text && m_font) SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    }
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    UpdateWindow(m_hWnd);
}

COwnerWindow::~COwnerWindow() {
    if (m_hWnd) DestroyWindow(m_hWnd);
    if (m_font) DeleteObject(m_font);
}

LRESULT CALLBACK COwnerWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<COwnerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_CLOSE) return 0;
    if (message == WM_QUERYENDSESSION && self) {
        bool unsaved = true;  // when it cannot be told, as if
        try {
            unsaved = self->m_unsaved && self->m_unsaved();
        } catch (...) {
        }
        if (!unsaved) return TRUE;
        ShutdownBlockReasonCreate(hwnd, L"The settings have changes not saved to their file.");
        return FALSE;
    }
    if (message == WM_ENDSESSION && !wParam) ShutdownBlockReasonDestroy(hwnd);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
