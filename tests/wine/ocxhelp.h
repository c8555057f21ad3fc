// What the tests of the module itself share: where Brisel.ocx is, its
// identity as a client knows it (written out here, not taken from the
// module's headers) and its exports.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

namespace ocx {

// The control's identifiers, written out (ocxhelp.cpp), not taken from its IDL.
extern const CLSID& kClsid;
extern const GUID& kLibid;
extern const IID& kDispIid;
extern const IID& kEventsIid;
extern const char kProgId[];      // Brisel.BriselCtrl.1
// "{XXXXXXXX-...}" of an identifier, and the control's class key "CLSID\\{...}".
std::string GuidText(REFGUID guid);
std::string ClsKey();

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
