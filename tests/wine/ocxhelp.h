// What the tests of the module itself share: where Brisel.ocx is, its
// identity as a client knows it (written out here, not taken from the
// module's headers), its exports, registry look-ups, and a watcher that
// closes the windows a call opens.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace ocx {

extern const CLSID kClsid;        // {E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}
extern const GUID kLibid;         // {B42E6C39-22E8-49EF-8995-52B26D5A1030}
extern const IID kDispIid;        // {5CF820CA-7C80-4EEF-A37F-2EB289208B6F}
extern const IID kEventsIid;      // {EF1F5666-CEE2-4962-8004-D3D8994B9CC5}
extern const char kProgId[];      // Brisel.BriselCtrl.1
extern const char kClsKey[];      // CLSID\{E11D7042-...}

// Brisel.ocx beside the build's test folder (two levels above the test).
std::string Path();

// The module loaded with LoadLibrary, and its exports.
class Module {
public:
    Module();
    ~Module();
    HMODULE get() const { return m_h; }
    HRESULT Register();
    HRESULT Unregister();
    HRESULT CanUnloadNow();

private:
    HMODULE m_h;
};

// Test cases that open and close a program's run: init initialises COM and
// registers the module, done unregisters it.
void init();
void done();

// Registry under HKEY_CLASSES_ROOT.
bool KeyExists(const std::string& path);
std::string DefaultValue(const std::string& path);  // "<missing>" when absent
// Creates path and lets nobody set its values or open it for writing; undo
// with DeleteKey.
bool DenyWrites(const std::string& path);
void DeleteKey(const std::string& path);  // with its sub-keys

// While alive, closes every top-level window of this thread whose caption
// is the given one by posting it `message` (wParam, lParam), recording the
// window's texts first.
class Closer {
public:
    Closer(std::string caption, UINT message, WPARAM wParam, LPARAM lParam = 0);
    ~Closer();
    int closed = 0;
    std::vector<std::string> texts;  // texts of the window's children when first seen
    std::function<void(HWND)> onFound;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::string m_caption;
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    UINT_PTR m_timer;
};

}  // namespace ocx
