#include "walk.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

#include "fw/handles.h"
#include "wide.h"
#include "winfiles.h"
#include "sheet/caption.h"

namespace brhost {

namespace {

constexpr int kRead = 268, kWrite = 269;
constexpr int kSaveSettings = 300, kLoadSettings = 301;  // on the node-information tab
constexpr int kPatience = 40;  // ticks to wait for the sheet

std::string Text(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    return Utf8(text);
}

std::string ClassOf(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return Utf8(name);
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> out;
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::string TabCaption(HWND sheet, int index) {
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    wchar_t text[128] = L"";
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    if (tab) SendMessageW(tab, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
}

}  // namespace

HWND FindThreadWindow(const char* caption) {
    for (HWND hwnd : ThreadWindows())
        if (Text(hwnd) == caption) return hwnd;
    return nullptr;
}

bool SaveWindowBitmap(HWND hwnd, const std::string& path, std::string& error) {
    RECT r;
    if (!IsWindow(hwnd) || !GetWindowRect(hwnd, &r)) {
        error = "no window to capture";
        return false;
    }
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // Finish pending painting only: forcing a full repaint here leaves the
    // property sheet's tab strip blank until the next message loop turn.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        error = "the window has no size";
        return false;
    }
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;  // bottom-up, as BMP files keep it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    info.biSizeImage = stride * static_cast<DWORD>(h);
    std::vector<char> pixels(info.biSizeImage);
    int lines;
    {
        unique_window_dc screen(nullptr);
        unique_hdc mem(CreateCompatibleDC(screen.get()));
        unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), w, h));
        {
            unique_select_object selected(mem.get(), bitmap.get());
            BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
        }
        lines = GetDIBits(mem.get(), bitmap.get(), 0, static_cast<UINT>(h), pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    }
    if (lines != h) {
        error = "cannot read the screen";
        return false;
    }
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string data(reinterpret_cast<const char*>(&file), sizeof file);
    data.append(reinterpret_cast<const char*>(&info), sizeof info);
    data.append(pixels.data(), pixels.size());
    WinFiles files;
    return brmodel::WriteAtomically(files, path, data, error);
}

DemoWalk::DemoWalk(HWND owner, std::string dir, unsigned tickMs, SimulatedNode& node)
    : m_owner(owner), m_dir(std::move(dir)), m_tick(tickMs), m_node(&node) {
    while (!m_dir.empty() && (m_dir.back() == '\\' || m_dir.back() == '/')) m_dir.pop_back();
    m_settingsFile = m_dir + "\\settings.txt";
}

void DemoWalk::OnNextNode(SimulatedNode& node) {
    m_node = &node;
    m_sheet = nullptr;
    m_waited = 0;
    m_state = State::FindSheet;
}

void DemoWalk::Say(const std::string& line) {
    std::printf("walk: %s\n", line.c_str());
    std::fflush(stdout);
}

void DemoWalk::Start() {
    CreateDirectoryW(Wide(m_dir).c_str(), nullptr);
    m_state = State::FindSheet;
    SetTimer(m_owner, kTimer, m_tick, nullptr);
}

void DemoWalk::Stop() { KillTimer(m_owner, kTimer); }

void DemoWalk::Fail(const std::string& why) {
    error = why;
    Say("failed: " + why);
    m_state = State::Done;
    Stop();
    // Whatever is still open of the plug-in goes, so its verb returns.
    for (HWND hwnd : ThreadWindows())
        if (hwnd != m_owner && IsWindowVisible(hwnd)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

bool DemoWalk::AnswerMessageBoxes() {
    bool answered = false;
    for (HWND hwnd : ThreadWindows()) {
        if (hwnd == m_owner || !IsWindowVisible(hwnd) || ClassOf(hwnd) != "#32770") continue;
        if (Text(hwnd) == kSheetCaption) continue;
        // The Open and Save As dialogs (their file name box is cmb13) get the
        // walk's settings file.
        if (HWND name = GetDlgItem(hwnd, 0x47C)) {
            if (GetPropW(hwnd, L"brhost.answered")) continue;
            SetPropW(hwnd, L"brhost.answered", reinterpret_cast<HANDLE>(1));
            SetWindowTextW(name, Wide(m_settingsFile).c_str());
            Say("\"" + Text(hwnd) + "\" answered with " + m_settingsFile);
            PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            answered = true;
            continue;
        }
        const std::string text = Text(GetDlgItem(hwnd, 0xFFFF));
        const std::string box = Text(hwnd) + ": " + text;
        boxes.push_back(box);
        // What a load would change is worth a picture before it is agreed to.
        if (text.find("Press OK to write") != std::string::npos) {
            const std::string file = m_dir + "\\confirm.bmp";
            std::string why;
            if (SaveWindowBitmap(hwnd, file, why)) shots.push_back(file), Say("screenshot " + file);
        } else if (m_state == State::Saving || m_state == State::Loading) {
            m_answered = true;
        }
        const int answer = GetDlgItem(hwnd, IDYES) ? IDYES : IDOK;
        Say("message box \"" + box + "\" answered with " + (answer == IDYES ? "Yes" : "OK"));
        PostMessageA(hwnd, WM_COMMAND, answer, 0);
        answered = true;
    }
    return answered;
}

void DemoWalk::PressOnFirstTab(int id, const char* name) {
    SendMessageA(m_sheet, PSM_SETCURSEL, 0, 0);
    HWND page = reinterpret_cast<HWND>(SendMessageA(m_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    HWND button = page ? GetDlgItem(page, id) : nullptr;
    if (!button) {
        // Another node's plug-in: nothing to rehearse with.
        Say(std::string("the first tab has no ") + name + " button; no settings saved or loaded");
        m_state = State::Done;
        Stop();
        return Exit();
    }
    Say(std::string(name) + " pressed");
    m_answered = false;
    m_waited = 0;
    // Posted: the dialogs it opens run their own loop, in which this timer
    // goes on answering them.
    PostMessageA(button, BM_CLICK, 0, 0);
}

void DemoWalk::Exit() {
    Say("pressing Exit");
    PostMessageA(m_sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
}

void DemoWalk::Tick() {
    // Between sheets the host, not the walk, has the next step.
    if (m_state == State::Done || m_state == State::OpenNext) return;
    if (AnswerMessageBoxes()) return;
    if (m_sheet && !IsWindow(m_sheet)) return Fail("the sheet closed before the walk ended");
    switch (m_state) {
    case State::FindSheet: {
        m_sheet = FindThreadWindow(kSheetCaption);
        if (!m_sheet || !IsWindowVisible(m_sheet)) {
            m_sheet = nullptr;
            if (++m_waited > kPatience) Fail("the plug-in's sheet (\"Sarp\") did not appear");
            return;
        }
        HWND tab = reinterpret_cast<HWND>(SendMessageA(m_sheet, PSM_GETTABCONTROL, 0, 0));
        m_tabs = tab ? static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
        if (m_tabs <= 0) return Fail("the sheet has no tabs");
        Say("sheet open with " + std::to_string(m_tabs) + " tab(s)");
        m_tab = 0;
        m_state = m_node->Number() == loadInto ? State::Load : State::Select;
        return Tick();
    }
    case State::Select:
        SendMessageA(m_sheet, PSM_SETCURSEL, static_cast<WPARAM>(m_tab), 0);
        Say("tab " + std::to_string(m_tab + 1) + " \"" + TabCaption(m_sheet, m_tab) + "\"");
        m_state = State::Read;
        return;
    case State::Read: {
        HWND page = reinterpret_cast<HWND>(SendMessageA(m_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        HWND read = page ? GetDlgItem(page, kRead) : nullptr;
        if (readWriteDone || !read || !GetDlgItem(page, kWrite)) {
            m_state = State::Capture;
            return Tick();
        }
        m_reads = m_node->reads;
        m_failures = m_node->failures;
        SendMessageA(read, BM_CLICK, 0, 0);
        Say("Read pressed: " + std::to_string(m_node->reads - m_reads) + " item(s) read, " +
            std::to_string(m_node->failures - m_failures) + " call(s) failed");
        m_state = State::Write;
        return;
    }
    case State::Write: {
        HWND page = reinterpret_cast<HWND>(SendMessageA(m_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        m_reads = m_node->reads;
        m_writes = m_node->writes;
        m_failures = m_node->failures;
        SendMessageA(GetDlgItem(page, kWrite), BM_CLICK, 0, 0);
        Say("Write pressed: " + std::to_string(m_node->reads - m_reads) + " item(s) read, " +
            std::to_string(m_node->writes - m_writes) + " item(s) written, " +
            std::to_string(m_node->failures - m_failures) + " call(s) failed");
        readWriteDone = true;
        m_state = State::Capture;
        return;
    }
    case State::Capture: {
        const std::string file = m_dir + "\\tab" + std::to_string(m_tab + 1) + ".bmp";
        std::string why;
        if (!SaveWindowBitmap(m_sheet, file, why)) return Fail(why);
        shots.push_back(file);
        Say("screenshot " + file);
        if (++m_tab < m_tabs) {
            m_state = State::Select;
            return;
        }
        if (!readWriteDone) Say("no tab has Read and Write buttons; nothing read or written");
        if (loadInto) {
            m_state = State::Save;
            return;
        }
        m_state = State::Done;
        Stop();
        Exit();
        return;
    }
    case State::Save:
        m_state = State::Saving;
        return PressOnFirstTab(kSaveSettings, "Save settings...");
    case State::Saving:
    case State::Loading:
        if (!m_answered) {
            if (++m_waited > kPatience) Fail("no answer from the plug-in after pressing its settings button");
            return;
        }
        m_state = m_state == State::Saving ? State::OpenNext : State::Done;
        if (m_state == State::Done) Stop();
        return Exit();
    case State::Load:
        m_state = State::Loading;
        return PressOnFirstTab(kLoadSettings, "Load settings...");
    case State::OpenNext:
    case State::Done:
        return;
    }
}

}  // namespace brhost
