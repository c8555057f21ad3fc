// The module as an installer and a COM client see it, through its exports
// and Wine's ole32 / oleaut32: failing registration steps, the registered
// type library, and when the module may unload.
#include <ole2.h>
#include <olectl.h>

#include <cstdio>
#include <string>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "wtest.h"

using wtest::DefaultValue;
using wtest::KeyExists;

namespace {

const std::string kCls = ocx::ClsKey();
const std::string kTypeLibVersion = "TypeLib\\" + ocx::GuidText(ocx::kLibid) + "\\1.0";

// Everything a registration writes is gone.
bool NothingRegistered() {
    return !KeyExists(kCls) && !KeyExists(ocx::kProgId) && !KeyExists(kTypeLibVersion);
}

std::wstring Name(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

}  // namespace

// A registry key that cannot be written makes the step that writes it fail:
// the type library's failure stops registration before the Node key and the
// class entries; a class entry's failure takes back what was written (the
// type library, the Node key, the class's other entries); the Node key's
// failure is not reported.
static void test_register_failures() {
    struct Row {
        const char* name;
        std::string unwritable;  // pre-created key that refuses writes
        HRESULT result;
        bool classEntries, typeLib;
        const char* programId;
        const char* testId;
    } rows[] = {
        {"nothing in the way", "", S_OK, true, true, "94 4B 61 6C 64 6F 72 2E", "%1"},
        {"type library key", kTypeLibVersion, SELFREG_E_TYPELIB, false, true, "<missing>", "<missing>"},
        {"class's MiscStatus", kCls + "\\MiscStatus", SELFREG_E_CLASS, false, false, "<missing>", "<missing>"},
        // The first row cannot be written, so the second is not tried.
        // (The protected key itself exists, without a value.)
        {"Node\\ProgramID", kCls + "\\Node\\ProgramID", S_OK, true, true, "", "<missing>"},
        {"Node\\TestID", kCls + "\\Node\\TestID", S_OK, true, true, "94 4B 61 6C 64 6F 72 2E", ""},
    };
    ocx::Module module;
    if (!ok(module.get() != nullptr, "cannot load %s", ocx::Path().c_str())) return;
    for (const Row& row : rows) {
        module.Unregister();
        if (!row.unwritable.empty()) ok(wtest::DenyWrites(row.unwritable), "%s: cannot protect the key", row.name);
        const HRESULT hr = module.Register();
        ok(hr == row.result, "%s: DllRegisterServer 0x%08lx", row.name, hr);
        ok(KeyExists(kCls + "\\InprocServer32") == row.classEntries, "%s: class entries", row.name);
        ok(KeyExists(ocx::kProgId) == row.classEntries, "%s: ProgID", row.name);
        ok(KeyExists(kTypeLibVersion) == row.typeLib, "%s: type library", row.name);
        ok(DefaultValue(kCls + "\\Node\\ProgramID") == row.programId, "%s: ProgramID %s", row.name,
           DefaultValue(kCls + "\\Node\\ProgramID").c_str());
        ok(DefaultValue(kCls + "\\Node\\TestID") == row.testId, "%s: TestID %s", row.name,
           DefaultValue(kCls + "\\Node\\TestID").c_str());
        if (!row.unwritable.empty()) wtest::DeleteKey(row.unwritable);
        ok(module.Unregister() == S_OK, "%s: unregister", row.name);
        ok(NothingRegistered(), "%s: entries left behind", row.name);
    }
}

// Every value the registration writes is a string value holding exactly
// its text and one terminating zero, as readers that take the stored bytes
// as they are (without adding a zero) need it.
static void test_value_bytes() {
    ocx::Module module;
    if (!ok(module.Register() == S_OK, "register")) return;
    const std::string built = ocx::Path();
    const std::string clsid = ocx::GuidText(ocx::kClsid), libid = ocx::GuidText(ocx::kLibid);
    const std::wstring path(built.begin(), built.end()), clsidW(clsid.begin(), clsid.end()),
        libidW(libid.begin(), libid.end()), cls = L"CLSID\\" + clsidW;
    const struct Row {
        std::wstring key;
        const wchar_t* name;
        std::wstring text;
    } rows[] = {
        {cls, nullptr, L"Brisel Control"},
        {cls + L"\\InprocServer32", nullptr, path},
        {cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {cls + L"\\ToolboxBitmap32", nullptr, path + L", 1"},
        {cls + L"\\MiscStatus", nullptr, L"0"},
        {cls + L"\\MiscStatus\\1", nullptr, L"131473"},
        {cls + L"\\TypeLib", nullptr, libidW},
        {cls + L"\\Version", nullptr, L"1.0"},
        {cls + L"\\ProgID", nullptr, L"Brisel.BriselCtrl.1"},
        {cls + L"\\Node\\ProgramID", nullptr, L"94 4B 61 6C 64 6F 72 2E"},
        {cls + L"\\Node\\TestID", nullptr, L"%1"},
        {L"Brisel.BriselCtrl.1", nullptr, L"Brisel Control"},
        {L"Brisel.BriselCtrl.1\\CLSID", nullptr, clsidW},
    };
    for (const Row& row : rows) {
        wchar_t data[MAX_PATH + 16] = {};
        DWORD type = 0, size = sizeof data - sizeof(wchar_t);  // room for a zero the value may lack
        HKEY key = nullptr;
        const bool read = RegOpenKeyExW(HKEY_CLASSES_ROOT, row.key.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS &&
                          RegQueryValueExW(key, row.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
                              ERROR_SUCCESS;
        if (key) RegCloseKey(key);
        const DWORD expected = static_cast<DWORD>((row.text.size() + 1) * sizeof(wchar_t));
        ok(read && type == REG_SZ && size == expected && data == row.text, "%ls %ls: type %lu, %lu bytes (%lu), %ls",
           row.key.c_str(), row.name ? row.name : L"(default)", type, size, expected, data);
    }
    ok(module.Unregister() == S_OK, "unregister");
}

// Unregistering undoes registration whatever is already gone.
static void test_unregister_leftovers() {
    struct Row {
        const char* name;
        const char* removeFirst;  // deleted between registration and unregistration
    } rows[] = {
        {"all there", nullptr},
        {"Node gone", "\\Node"},
        {"TestID gone", "\\Node\\TestID"},
        {"class key gone", ""},
    };
    ocx::Module module;
    for (const Row& row : rows) {
        ok(module.Register() == S_OK, "%s: register", row.name);
        if (row.removeFirst) wtest::DeleteKey(kCls + row.removeFirst);
        ok(module.Unregister() == S_OK, "%s: unregister", row.name);
        ok(NothingRegistered() && !KeyExists(kCls + "\\Node"), "%s: entries left behind", row.name);
        ok(module.Unregister() == S_OK, "%s: unregister again", row.name);
    }
}

// What oleaut32 makes of the registered library.
static void test_type_library() {
    ocx::Module module;
    ok(module.Register() == S_OK, "register");
    com_ptr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(ocx::kLibid, 1, 0, 0x409, lib.put());
    if (ok(hr == S_OK && lib, "LoadRegTypeLib 0x%08lx", hr)) {
        TLIBATTR* attr = nullptr;
        lib->GetLibAttr(&attr);
        ok(attr->lcid == 0x409, "lcid %lx", attr->lcid);
        ok(attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32), "syskind %d", attr->syskind);
        ok(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0, "version %u.%u", attr->wMajorVerNum,
           attr->wMinorVerNum);
        ok(attr->wLibFlags & LIBFLAG_FCONTROL, "flags %x", attr->wLibFlags);
        lib->ReleaseTLibAttr(attr);
        BSTR name = nullptr, doc = nullptr, help = nullptr;
        lib->GetDocumentation(-1, &name, &doc, nullptr, &help);
        ok(Name(name) == L"BriselLib", "library name %ls", name);
        ok(Name(doc) == L"Brisel ActiveX Control module", "library help string %ls", doc);
        ok(Name(help).size() >= 10 && Name(help).substr(Name(help).size() - 10) == L"Brisel.hlp", "help file %ls",
           help);
        SysFreeString(name);
        SysFreeString(doc);
        SysFreeString(help);

        struct Row {
            const char* what;
            const GUID* guid;
            const wchar_t* name;
            TYPEKIND kind;
            WORD flags;  // must be set
            WORD absent; // must not be set
            UINT funcs, impls;
            const wchar_t* help;
        } rows[] = {
            {"_DBrisel", &ocx::kDispIid, L"_DBrisel", TKIND_DISPATCH, TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE, 0,
             1, 1, L"Dispatch interface for Brisel Control"},
            {"_DBriselEvents", &ocx::kEventsIid, L"_DBriselEvents", TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE,
             TYPEFLAG_FHIDDEN, 0, 1, L"Event interface for Brisel Control"},
            {"Brisel", &ocx::kClsid, L"Brisel", TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, 0, 0, 2,
             L"Brisel Control"},
        };
        for (const Row& row : rows) {
            com_ptr<ITypeInfo> info;
            hr = lib->GetTypeInfoOfGuid(*row.guid, info.put());
            if (!ok(hr == S_OK && info, "%s: GetTypeInfoOfGuid 0x%08lx", row.what, hr)) continue;
            TYPEATTR* ta = nullptr;
            info->GetTypeAttr(&ta);
            ok(ta->typekind == row.kind, "%s: kind %d", row.what, ta->typekind);
            ok((ta->wTypeFlags & row.flags) == row.flags && !(ta->wTypeFlags & row.absent), "%s: flags %x",
               row.what, ta->wTypeFlags);
            ok(ta->cFuncs == row.funcs && ta->cVars == 0, "%s: %u functions %u variables", row.what, ta->cFuncs,
               ta->cVars);
            ok(ta->cImplTypes == row.impls, "%s: %u implemented types", row.what, ta->cImplTypes);
            BSTR tn = nullptr, th = nullptr;
            info->GetDocumentation(MEMBERID_NIL, &tn, &th, nullptr, nullptr);
            ok(Name(tn) == row.name, "%s: name %ls", row.what, tn);
            ok(Name(th) == row.help, "%s: help string %ls", row.what, th);
            SysFreeString(tn);
            SysFreeString(th);
            if (row.kind == TKIND_DISPATCH && row.funcs == 1) {
                FUNCDESC* fd = nullptr;
                info->GetFuncDesc(0, &fd);
                BSTR fn = nullptr;
                UINT n = 0;
                info->GetNames(fd->memid, &fn, 1, &n);
                ok(fd->memid == DISPID_ABOUTBOX, "AboutBox id %ld", fd->memid);
                ok(Name(fn) == L"AboutBox", "method %ls", fn);
                ok(fd->cParams == 0 && fd->elemdescFunc.tdesc.vt == VT_VOID, "AboutBox: %d params, result vt %d",
                   fd->cParams, fd->elemdescFunc.tdesc.vt);
                ok(fd->invkind == INVOKE_FUNC, "AboutBox invkind %d", fd->invkind);
                SysFreeString(fn);
                info->ReleaseFuncDesc(fd);
            }
            if (row.kind == TKIND_COCLASS) {
                // The default interface and the default event source.
                struct Impl {
                    const IID* iid;
                    int flags;
                } impls[] = {{&ocx::kDispIid, IMPLTYPEFLAG_FDEFAULT},
                             {&ocx::kEventsIid, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
                for (UINT i = 0; i < 2; ++i) {
                    int flags = 0;
                    HREFTYPE ref = 0;
                    com_ptr<ITypeInfo> impl;
                    TYPEATTR* ia = nullptr;
                    info->GetImplTypeFlags(i, &flags);
                    info->GetRefTypeOfImplType(i, &ref);
                    info->GetRefTypeInfo(ref, impl.put());
                    if (!ok(impl.get() != nullptr, "impl %u missing", i)) continue;
                    impl->GetTypeAttr(&ia);
                    ok(IsEqualGUID(ia->guid, *impls[i].iid), "impl %u: wrong interface", i);
                    ok(flags == impls[i].flags, "impl %u: flags %x", i, flags);
                    impl->ReleaseTypeAttr(ia);
                }
            }
            info->ReleaseTypeAttr(ta);
        }
        lib.reset();
    }
    ok(module.Unregister() == S_OK, "unregister");
    ok(LoadRegTypeLib(ocx::kLibid, 1, 0, 0x409, lib.put()) != S_OK, "library still registered");
}

// The module reports that it can unload exactly when no object, lock or
// factory reference is left, and COM then unloads it.
static void test_unload() {
    {
        ocx::Module registration;
        ok(registration.Register() == S_OK, "register");
    }
    auto loaded = [] { return GetModuleHandleA("Brisel.ocx") != nullptr; };
    auto canUnload = ocx::LoadedCanUnloadNow;
    ok(!loaded(), "module loaded before the test");

    com_ptr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(ocx::kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void());
    if (!ok(hr == S_OK && factory, "CoGetClassObject 0x%08lx", hr)) return;
    ok(canUnload() == S_FALSE, "factory held: can unload");
    com_ptr<IUnknown> a, b;
    ok(factory->CreateInstance(nullptr, IID_IUnknown, a.put_void()) == S_OK, "create a");
    ok(factory->CreateInstance(nullptr, IID_IUnknown, b.put_void()) == S_OK, "create b");
    IUnknown* outer = a.get();
    com_ptr<IUnknown> aggregated, none;
    ok(factory->CreateInstance(outer, IID_IUnknown, aggregated.put_void()) == CLASS_E_NOAGGREGATION && !aggregated,
       "aggregation accepted");
    ok(factory->CreateInstance(nullptr, IID_IClassFactory, none.put_void()) == E_NOINTERFACE && !none,
       "unknown interface");
    ok(factory->LockServer(TRUE) == S_OK, "lock");
    factory.reset();

    // step, what it does, expected answer afterwards
    struct Step {
        const char* what;
        std::function<void()> action;
        HRESULT expected;
    } steps[] = {
        {"objects and lock", [] {}, S_FALSE},
        {"a released", [&] { a.reset(); }, S_FALSE},
        {"b released, lock left", [&] { b.reset(); }, S_FALSE},
        {"unbalanced unlocks", [&] {
             com_ptr<IClassFactory> f;
             CoGetClassObject(ocx::kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, f.put_void());
             f->LockServer(FALSE);
             f->LockServer(FALSE);  // one more than was locked: ignored
         }, S_OK},
    };
    for (const Step& step : steps) {
        step.action();
        ok(canUnload() == step.expected, "%s: DllCanUnloadNow 0x%08lx", step.what, canUnload());
        if (step.expected == S_FALSE) {
            CoFreeUnusedLibraries();
            ok(loaded(), "%s: unloaded while in use", step.what);
        }
    }
    CoFreeUnusedLibraries();
    ok(!loaded(), "not unloaded");

    // Loaded again, it works as before; an over-unlocked server still counts
    // its objects.
    com_ptr<IUnknown> c;
    hr = CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, c.put_void());
    ok(hr == S_OK && c, "create after reload 0x%08lx", hr);
    ok(canUnload() == S_FALSE, "object alive: can unload");
    c.reset();
    ok(canUnload() == S_OK, "all released: cannot unload");
    CoFreeUnusedLibraries();
    ok(!loaded(), "not unloaded after reload");

    ocx::Module registration;
    ok(registration.Unregister() == S_OK, "unregister");
}

static void test_exports_bad_arguments() {
    ocx::Module module;
    auto get = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
    if (!ok(get != nullptr, "no DllGetClassObject")) return;
    void* p = reinterpret_cast<void*>(1);
    ok(get(IID_IUnknown, IID_IClassFactory, &p) == CLASS_E_CLASSNOTAVAILABLE && !p, "unknown class");
    ok(get(ocx::kClsid, IID_IClassFactory, nullptr) == E_POINTER, "null out pointer");
    p = reinterpret_cast<void*>(1);
    ok(get(ocx::kClsid, IID_IDispatch, &p) == E_NOINTERFACE && !p, "factory answers IDispatch");
    com_ptr<IUnknown> factory;
    ok(get(ocx::kClsid, IID_IClassFactory, factory.put_void()) == S_OK && factory, "no factory");
}

// The version block that installers read: the empty OLESelfRegister entry
// marks the module as self-registering.
static void test_version_block() {
    const std::string path = ocx::Path();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::string data(size, '\0');
    if (!ok(size && GetFileVersionInfoA(path.c_str(), 0, size, &data[0]), "no version block")) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ok(VerQueryValueA(&data[0], "\\", reinterpret_cast<void**>(&fixed), &len) && fixed, "no fixed info");
    // The file VERSION's four numbers (tests/wine/CMakeLists.txt).
    const unsigned version[4] = {BRISEL_TEST_VERSION};
    const DWORD ms = version[0] << 16 | version[1], ls = version[2] << 16 | version[3];
    char versionText[64];
    std::snprintf(versionText, sizeof versionText, "%u, %u, %u, %u", version[0], version[1], version[2], version[3]);
    if (fixed) {
        ok(fixed->dwFileVersionMS == ms && fixed->dwFileVersionLS == ls, "file version %lx.%lx",
           fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        ok(fixed->dwProductVersionMS == ms && fixed->dwProductVersionLS == ls, "product version");
        ok(fixed->dwFileType == VFT_DLL && fixed->dwFileOS == VOS__WINDOWS32, "type %lx os %lx", fixed->dwFileType,
           fixed->dwFileOS);
    }
    WORD* translation = nullptr;
    ok(VerQueryValueA(&data[0], "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len) &&
           len >= 4 && translation[0] == 0x409 && translation[1] == 1200, "translation");
    const struct {
        const char* name;
        const char* value;
    } rows[] = {
        {"FileDescription", "Brisel ActiveX Control Module"}, {"ProductName", "Brisel ActiveX Control Module"},
        {"FileVersion", versionText}, {"ProductVersion", versionText},
        {"OriginalFilename", "Brisel.OCX"}, {"OLESelfRegister", ""},
    };
    for (const auto& row : rows) {
        char* value = nullptr;
        const std::string key = std::string("\\StringFileInfo\\040904B0\\") + row.name;
        const bool found = VerQueryValueA(&data[0], key.c_str(), reinterpret_cast<void**>(&value), &len);
        ok(found && value && std::string(value) == row.value, "%s: %s", row.name, found && value ? value : "(none)");
    }
}

// The control writes to building-automation devices: it must not tell a
// browser or script host that it is safe to script or to initialise from
// untrusted data, neither through IObjectSafety nor through the component
// categories that stand for it.
static void test_not_safe_for_scripting() {
    ocx::Module module;
    ok(module.Register() == S_OK, "register");
    const char* categories[] = {"{7DD95801-9882-11CF-9FA9-00AA006C42C4}",   // safe for scripting
                                "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"};  // safe for initialising
    for (const char* catid : categories) {
        ok(!KeyExists(kCls + "\\Implemented Categories\\" + catid), "class claims category %s", catid);
        ok(!KeyExists(std::string("Component Categories\\") + catid + "\\Brisel"), "category lists the control");
    }
    const IID iidObjectSafety = {0xcb5bdc81, 0x93c1, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
    IUnknown* control = nullptr;
    ok(CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&control)) ==
           S_OK && control, "not created");
    if (control) {
        void* safety = reinterpret_cast<void*>(1);
        ok(control->QueryInterface(iidObjectSafety, &safety) == E_NOINTERFACE && !safety, "IObjectSafety answered");
        control->Release();
    }
    CoFreeUnusedLibraries();  // the unload test starts with the module unloaded
    ok(module.Unregister() == S_OK, "unregister");
}

static void init() { CoInitialize(nullptr); }

WTEST_MAIN(WTEST(init), WTEST(test_version_block), WTEST(test_register_failures), WTEST(test_value_bytes), WTEST(test_unregister_leftovers), WTEST(test_type_library),
           WTEST(test_exports_bad_arguments), WTEST(test_not_safe_for_scripting), WTEST(test_unload))
