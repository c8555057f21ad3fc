// What the tests of the module itself share: where Brisel.ocx is, its
// identity as a client knows it (written out here, not taken from the
// module's headers) and its exports.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

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
    explicit Module(const std::wstring& path);  // a copy elsewhere
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

// DllCanUnloadNow of the Brisel.ocx this process has loaded; a failure when
// none is loaded.
HRESULT LoadedCanUnloadNow();

}  // namespace ocx
