// The control as containers use it: created through COM from the
// registered module, asked for its identity, verbs and automation, saved
// and loaded, and driven by a simulated node's client site.
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <prsht.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "res/resource.h"
#include "simnode/simnode.h"
#include "wtest.h"
#include "sheet/caption.h"

namespace {

com_ptr<IUnknown> NewControl() {
    com_ptr<IUnknown> unk;
    CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unk.put_void());
    return unk;
}

const wchar_t* Show(const wchar_t* s) { return s ? s : L"(null)"; }

// A property bag over a map, as a container keeps one.
struct Bag final : IPropertyBag {
    std::map<std::wstring, VARIANT> values;
    ~Bag() {
        for (auto& v : values) VariantClear(&v.second);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
        auto it = values.find(name);
        if (it == values.end()) return E_INVALIDARG;
        const VARTYPE want = v->vt;
        VariantInit(v);
        if (want == VT_EMPTY) return VariantCopy(v, &it->second);
        return VariantChangeType(v, &it->second, 0, want);
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* v) override {
        VARIANT& slot = values[name];
        VariantClear(&slot);
        return VariantCopy(&slot, v);
    }
    std::string Dump() const {
        std::string out;
        for (const auto& v : values) {
            VARIANT s;
            VariantInit(&s);
            VariantChangeType(&s, const_cast<VARIANT*>(&v.second), 0, VT_BSTR);
            out += std::string(v.first.begin(), v.first.end()) + "=" +
                   std::string(s.bstrVal, s.bstrVal + SysStringLen(s.bstrVal)) + ";";
            VariantClear(&s);
        }
        return out;
    }
};

std::vector<BYTE> StreamBytes(IStream* stream) {
    HGLOBAL global = nullptr;
    GetHGlobalFromStream(stream, &global);
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    const BYTE* data = static_cast<const BYTE*>(GlobalLock(global));
    std::vector<BYTE> bytes(data, data + stat.cbSize.QuadPart);
    GlobalUnlock(global);
    return bytes;
}

com_ptr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
    com_ptr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    ULONG written = 0;
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}

DWORD Le32(const std::vector<BYTE>& b, size_t at) {
    return b.size() < at + 4 ? 0 : b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (DWORD(b[at + 3]) << 24);
}

// Saves a control through IPersistStreamInit.
std::vector<BYTE> SaveStream(IUnknown* control) {
    com_ptr<IPersistStreamInit> persist;
    control->QueryInterface(IID_IPersistStreamInit, persist.put_void());
    com_ptr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (!persist.get() || persist->Save(stream.get(), TRUE) != S_OK) return {};
    return StreamBytes(stream.get());
}

}  // namespace

// The interfaces a container asks for, one object behind them all, and
// what the object says about itself.
static void test_identity() {
    com_ptr<IUnknown> control;
    control = NewControl();
    if (!ok(control.get() != nullptr, "not created")) return;
    const IID* iids[] = {&IID_IOleObject, &IID_IOleControl, &IID_IOleInPlaceObject, &IID_IOleInPlaceActiveObject,
                         &IID_IOleWindow, &IID_IViewObject, &IID_IViewObject2, &IID_IDispatch, &ocx::kDispIid,
                         &IID_IProvideClassInfo, &IID_IProvideClassInfo2, &IID_IConnectionPointContainer,
                         &IID_IPersist, &IID_IPersistStream, &IID_IPersistStreamInit, &IID_IPersistPropertyBag,
                         &IID_IPersistStorage};
    int i = 0;
    for (const IID* iid : iids) {
        com_ptr<IUnknown> p, back;
        ok(control->QueryInterface(*iid, p.put_void()) == S_OK && p.get(), "interface %d missing", i);
        if (p.get()) p->QueryInterface(IID_IUnknown, back.put_void());
        ok(back.get() == control.get(), "interface %d: another object's IUnknown", i);
        ++i;
    }
    com_ptr<IUnknown> none;
    ok(control->QueryInterface(IID_IClassFactory, none.put_void()) == E_NOINTERFACE && !none.get(), "IClassFactory answered");

    com_ptr<IOleObject> ole;
    control->QueryInterface(IID_IOleObject, ole.put_void());
    CLSID clsid = {};
    ok(ole->GetUserClassID(&clsid) == S_OK && IsEqualCLSID(clsid, ocx::kClsid), "GetUserClassID");
    LPOLESTR type = nullptr;
    ok(ole->GetUserType(USERCLASSTYPE_FULL, &type) == S_OK && type && std::wstring(type) == L"Brisel Control",
       "user type %ls", Show(type));
    CoTaskMemFree(type);
    DWORD misc = 0;
    ok(ole->GetMiscStatus(DVASPECT_CONTENT, &misc) == S_OK && misc == 0x20191, "misc status %lx", misc);

    com_ptr<IPersistStreamInit> persist;
    control->QueryInterface(IID_IPersistStreamInit, persist.put_void());
    clsid = GUID_NULL;
    ok(persist->GetClassID(&clsid) == S_OK && IsEqualCLSID(clsid, ocx::kClsid), "GetClassID");

    com_ptr<IProvideClassInfo2> classInfo;
    control->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void());
    GUID source = GUID_NULL;
    ok(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK && IsEqualIID(source, ocx::kEventsIid),
       "default source");
    com_ptr<ITypeInfo> coclass;
    ok(classInfo->GetClassInfo(coclass.put()) == S_OK && coclass.get(), "GetClassInfo");
    if (coclass.get()) {
        TYPEATTR* attr = nullptr;
        coclass->GetTypeAttr(&attr);
        ok(attr->typekind == TKIND_COCLASS && IsEqualCLSID(attr->guid, ocx::kClsid), "class info is not the coclass");
        coclass->ReleaseTypeAttr(attr);
    }

    com_ptr<IDispatch> disp;
    control->QueryInterface(IID_IDispatch, disp.put_void());
    UINT count = 0;
    ok(disp->GetTypeInfoCount(&count) == S_OK && count == 1, "type info count %u", count);
    com_ptr<ITypeInfo> info;
    ok(disp->GetTypeInfo(0, 0x409, info.put()) == S_OK && info.get(), "GetTypeInfo");
    if (info.get()) {
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        ok(IsEqualIID(attr->guid, ocx::kDispIid), "type info is not _DBrisel");
        info->ReleaseTypeAttr(attr);
    }
    com_ptr<ITypeInfo> bad;
    ok(disp->GetTypeInfo(1, 0x409, bad.put()) == DISP_E_BADINDEX && !bad.get(), "type info 1");
}

// The one verb the control lists, and the verbs it does not carry out.
static void test_verbs() {
    com_ptr<IOleObject> ole;
    com_ptr<IUnknown> control;
    control = NewControl();
    if (!ok(control.get() != nullptr, "not created")) return;
    control->QueryInterface(IID_IOleObject, ole.put_void());

    com_ptr<IEnumOLEVERB> verbs;
    ok(ole->EnumVerbs(verbs.put()) == S_OK && verbs.get(), "EnumVerbs");
    std::vector<OLEVERB> listed;
    OLEVERB verb;
    ULONG fetched = 0;
    while (verbs.get() && verbs->Next(1, &verb, &fetched) == S_OK && fetched == 1) {
        listed.push_back(verb);
        if (listed.size() > 10) break;
    }
    if (ok(listed.size() == 1, "%u verbs", (unsigned)listed.size())) {
        ok(listed[0].lVerb == OLEIVERB_PROPERTIES, "verb %ld", listed[0].lVerb);
        ok(listed[0].lpszVerbName && std::wstring(listed[0].lpszVerbName) == L"&Properties...", "verb name %ls",
           Show(listed[0].lpszVerbName));
        ok(listed[0].grfAttribs & OLEVERBATTRIB_ONCONTAINERMENU, "not on the container's menu");
    }
    for (auto& v : listed) CoTaskMemFree(v.lpszVerbName);
    if (verbs.get()) {
        ok(verbs->Reset() == S_OK && verbs->Skip(1) == S_OK && verbs->Skip(1) == S_FALSE, "Skip");
    }

    // Without a client site nothing can be activated in place; verbs that
    // the control has not got are refused.
    struct Row {
        LONG verb;
        HRESULT expected;
    } rows[] = {
        {OLEIVERB_INPLACEACTIVATE, E_UNEXPECTED}, {OLEIVERB_SHOW, E_UNEXPECTED}, {OLEIVERB_OPEN, E_NOTIMPL},
        {-42, E_NOTIMPL}, {OLEIVERB_HIDE, S_OK}, {OLEIVERB_DISCARDUNDOSTATE, S_OK},
    };
    for (const Row& row : rows) {
        const HRESULT hr = ole->DoVerb(row.verb, nullptr, nullptr, 0, nullptr, nullptr);
        ok(hr == row.expected, "verb %ld: 0x%08lx", row.verb, hr);
    }
    // Nobody has advised: an empty enumerator, not S_OK with none.
    com_ptr<IEnumSTATDATA> advises;
    ok(ole->EnumAdvise(advises.put()) == S_OK && advises, "EnumAdvise without an advise");
    STATDATA data = {};
    ULONG got = 7;
    ok(advises && advises->Next(1, &data, &got) == S_FALSE && got == 0, "advises listed: %lu", got);
    ok(ole->Close(OLECLOSE_NOSAVE) == S_OK, "Close");
}

// Late-bound automation: AboutBox by name, and calls that cannot be served.
static void test_dispatch() {
    com_ptr<IUnknown> control;
    control = NewControl();
    com_ptr<IDispatch> disp;
    if (!ok(control.get() && control->QueryInterface(IID_IDispatch, disp.put_void()) == S_OK, "no IDispatch")) return;

    struct Name {
        const wchar_t* name;
        HRESULT expected;
        DISPID id;
    } names[] = {{L"AboutBox", S_OK, DISPID_ABOUTBOX},
                 {L"aboutbox", S_OK, DISPID_ABOUTBOX},
                 {L"About", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
                 {L"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN}};
    for (const Name& n : names) {
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        DISPID id = 12345;
        const HRESULT hr = disp->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id);
        ok(hr == n.expected && id == n.id, "%ls: 0x%08lx id %ld", n.name, hr, id);
    }
    LPOLESTR two[] = {const_cast<LPOLESTR>(L"AboutBox"), const_cast<LPOLESTR>(L"x")};
    DISPID ids[2] = {};
    ok(disp->GetIDsOfNames(IID_NULL, two, 2, 0x409, ids) == DISP_E_UNKNOWNNAME && ids[0] == DISPID_ABOUTBOX &&
           ids[1] == DISPID_UNKNOWN, "parameter name accepted");

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    DISPID named = 0;
    struct Call {
        const char* what;
        DISPID id;
        const IID* riid;
        WORD flags;
        UINT args, namedArgs;
        HRESULT expected;
    } calls[] = {
        {"unknown member", 7, &IID_NULL, DISPATCH_METHOD, 0, 0, DISP_E_MEMBERNOTFOUND},
        {"not IID_NULL", DISPID_ABOUTBOX, &IID_IDispatch, DISPATCH_METHOD, 0, 0, DISP_E_UNKNOWNINTERFACE},
        {"property put", DISPID_ABOUTBOX, &IID_NULL, DISPATCH_PROPERTYPUT, 0, 0, DISP_E_MEMBERNOTFOUND},
        {"an argument", DISPID_ABOUTBOX, &IID_NULL, DISPATCH_METHOD, 1, 0, DISP_E_BADPARAMCOUNT},
        {"a named argument", DISPID_ABOUTBOX, &IID_NULL, DISPATCH_METHOD, 1, 1, DISP_E_NONAMEDARGS},
    };
    wtest::Closer closer("About Brisel Control", WM_COMMAND, IDOK);
    for (const Call& c : calls) {
        DISPPARAMS params = {c.args ? &arg : nullptr, c.namedArgs ? &named : nullptr, c.args, c.namedArgs};
        const HRESULT hr = disp->Invoke(c.id, *c.riid, 0x409, c.flags, &params, nullptr, nullptr, nullptr);
        ok(hr == c.expected, "%s: 0x%08lx", c.what, hr);
    }
    ok(closer.closed == 0, "an About box was shown");

    // The About box is modal: the call returns once it has been closed, with
    // no result.
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const HRESULT hr = disp->Invoke(DISPID_ABOUTBOX, IID_NULL, 0x409, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    ok(hr == S_OK, "AboutBox 0x%08lx", hr);
    ok(closer.closed == 1, "About box closed %d times before the call returned", closer.closed);
    ok(result.vt == VT_EMPTY, "result type %d", result.vt);
    bool text = false, button = false;
    for (const auto& t : closer.texts) {
        text |= t == "Brisel Control, Version 1.0";
        button |= t == "OK";
    }
    ok(text && button, "About box texts missing (%u texts)", (unsigned)closer.texts.size());
}

// The (empty) event source: found, listed, and connectable by any
// dispatch sink.
static void test_connection_points() {
    com_ptr<IUnknown> control, sink;
    control = NewControl();
    sink = NewControl();  // another control serves as a dispatch sink
    com_ptr<IConnectionPointContainer> cpc;
    if (!ok(control.get() && control->QueryInterface(IID_IConnectionPointContainer, cpc.put_void()) == S_OK, "no container"))
        return;
    com_ptr<IConnectionPoint> cp, none;
    ok(cpc->FindConnectionPoint(ocx::kEventsIid, cp.put()) == S_OK && cp.get(), "event point");
    ok(cpc->FindConnectionPoint(IID_IPropertyNotifySink, none.put()) == CONNECT_E_NOCONNECTION && !none.get(),
       "property notifications");
    if (!cp.get()) return;
    IID iid = GUID_NULL;
    ok(cp->GetConnectionInterface(&iid) == S_OK && IsEqualIID(iid, ocx::kEventsIid), "connection interface");
    // The point is an object of its own: it answers for itself, not for the
    // control.
    for (const IID* asked : {&IID_IConnectionPoint, &IID_IUnknown, &IID_IOleObject, &IID_IConnectionPointContainer}) {
        com_ptr<IUnknown> got;
        const HRESULT hr = cp->QueryInterface(*asked, got.put_void());
        const bool own = asked == &IID_IConnectionPoint || asked == &IID_IUnknown;
        ok(own ? hr == S_OK && got.get() == cp.get() : hr == E_NOINTERFACE && !got.get(),
           "connection point asked for %s: 0x%08lx", own ? "itself" : "the control's interface", hr);
    }

    com_ptr<IEnumConnectionPoints> points;
    ok(cpc->EnumConnectionPoints(points.put()) == S_OK, "EnumConnectionPoints");
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    if (points.get()) points->Next(2, listed, &fetched);
    com_ptr<IConnectionPoint> owned[2];
    for (ULONG i = 0; i < fetched && i < 2; ++i) owned[i].attach(listed[i]);
    ok(fetched == 1 && listed[0] == cp.get(), "%lu points listed", fetched);

    simnode::Node node;
    simnode::Site site(node);  // answers neither the events nor IDispatch
    DWORD cookie = 0, other = 0;
    ok(cp->Advise(site.ClientSite(), &other) == CONNECT_E_CANNOTCONNECT && other == 0, "site connected");
    ok(site.siteRefs() == 0, "refused sink kept: %ld", site.siteRefs());
    ok(cp->Advise(sink.get(), &cookie) == S_OK && cookie != 0, "dispatch sink refused");
    ok(cp->Unadvise(cookie + 1) == CONNECT_E_NOCONNECTION, "unknown cookie");
    ok(cp->Unadvise(cookie) == S_OK, "Unadvise");
    ok(cp->Unadvise(cookie) == CONNECT_E_NOCONNECTION, "Unadvise twice");
}

// What one control saves, another loads: the version first (1.0), then the
// extent; nothing else of its own.
static void test_persistence_round_trip() {
    com_ptr<IUnknown> a, b;
    a = NewControl();
    b = NewControl();
    if (!ok(a.get() && b.get(), "not created")) return;

    // Stream.
    com_ptr<IPersistStreamInit> pa, pb;
    a->QueryInterface(IID_IPersistStreamInit, pa.put_void());
    b->QueryInterface(IID_IPersistStreamInit, pb.put_void());
    ok(pa->InitNew() == S_OK, "InitNew");
    const std::vector<BYTE> saved = SaveStream(a.get());
    ULARGE_INTEGER max = {};
    ok(pa->GetSizeMax(&max) == S_OK && max.QuadPart == saved.size(), "GetSizeMax %lu for %u bytes",
       (unsigned long)max.QuadPart, (unsigned)saved.size());
    ok(saved.size() == 12 && Le32(saved, 0) == 0x00010000, "saved %u bytes, version %08lx", (unsigned)saved.size(),
       Le32(saved, 0));
    com_ptr<IStream> in;
    in = StreamOf(saved);
    ok(pb->Load(in.get()) == S_OK, "Load");
    ok(SaveStream(b.get()) == saved, "saved again differs");

    // An extent set in one comes back in the other.
    com_ptr<IOleObject> oa, ob;
    a->QueryInterface(IID_IOleObject, oa.put_void());
    b->QueryInterface(IID_IOleObject, ob.put_void());
    SIZEL size = {5000, 3000};
    ok(oa->SetExtent(DVASPECT_CONTENT, &size) == S_OK, "SetExtent");
    ok(pa->IsDirty() == S_OK, "not dirty after SetExtent");
    const std::vector<BYTE> sized = SaveStream(a.get());
    ok(pa->IsDirty() == S_FALSE, "dirty after Save");
    com_ptr<IStream> in2;
    in2 = StreamOf(sized);
    ok(pb->Load(in2.get()) == S_OK, "Load sized");
    SIZEL got = {};
    ob->GetExtent(DVASPECT_CONTENT, &got);
    ok(got.cx == 5000 && got.cy == 3000, "extent %ld x %ld", got.cx, got.cy);

    // Storage.
    com_ptr<ILockBytes> bytes;
    com_ptr<IStorage> storage;
    CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put());
    StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put());
    com_ptr<IPersistStorage> sa, sb;
    a->QueryInterface(IID_IPersistStorage, sa.put_void());
    b->QueryInterface(IID_IPersistStorage, sb.put_void());
    ok(sb->InitNew(storage.get()) == S_OK, "storage InitNew");
    ok(sa->Save(storage.get(), FALSE) == S_OK && sa->SaveCompleted(nullptr) == S_OK, "storage Save");
    ok(sb->Load(storage.get()) == S_OK, "storage Load");
    got = SIZEL{};
    ok(ob->GetExtent(DVASPECT_CONTENT, &got) == S_OK && got.cx == 5000 && got.cy == 3000,
       "extent after storage Load %ld x %ld", got.cx, got.cy);
    ok(SaveStream(b.get()) == sized, "storage round trip differs");

    // Property bag.
    Bag bag;
    com_ptr<IPersistPropertyBag> ba, bb;
    a->QueryInterface(IID_IPersistPropertyBag, ba.put_void());
    b->QueryInterface(IID_IPersistPropertyBag, bb.put_void());
    ok(ba->Save(&bag, TRUE, TRUE) == S_OK, "bag Save");
    ok(bag.Dump() == "_ExtentX=5000;_ExtentY=3000;_Version=65536;", "bag %s", bag.Dump().c_str());
    ok(pb->InitNew() == S_OK && bb->Load(&bag, nullptr) == S_OK, "bag Load");
    ok(SaveStream(b.get()) == sized, "bag round trip differs");
}

// Saved data that this version cannot use: short streams make the load fail
// and leave the control as new; another version is taken and written back
// as 1.0; a bag without values gives the defaults.
static void test_persistence_bad_data() {
    com_ptr<IUnknown> a;
    a = NewControl();
    com_ptr<IPersistStreamInit> pa;
    if (!ok(a.get() && a->QueryInterface(IID_IPersistStreamInit, pa.put_void()) == S_OK, "no persistence")) return;
    pa->InitNew();
    const std::vector<BYTE> fresh = SaveStream(a.get());

    const std::vector<BYTE> v2 = {0, 0, 2, 0, 0x88, 0x13, 0, 0, 0xb8, 0x0b, 0, 0};  // 2.0, 5000 x 3000
    std::vector<BYTE> converted = v2;
    converted[2] = 1;
    struct Row {
        const char* what;
        std::vector<BYTE> data;
        HRESULT expected;
        std::vector<BYTE> savedAfter;
    } rows[] = {
        {"empty", {}, E_FAIL, fresh},
        {"three bytes", {0, 0, 1}, E_FAIL, fresh},
        {"version only", {0, 0, 1, 0}, E_FAIL, fresh},
        {"extent cut short", {0, 0, 1, 0, 1, 2, 3, 4, 5}, E_FAIL, fresh},
        {"version 2.0", v2, S_OK, converted},
        {"trailing bytes", {0, 0, 1, 0, 0x88, 0x13, 0, 0, 0xb8, 0x0b, 0, 0, 9, 9}, S_OK, converted},
        // Extents below 0 or beyond 1 000 000 HIMETRIC (10 m) are bad data.
        {"negative width", {0, 0, 1, 0, 0xff, 0xff, 0xff, 0xff, 0xb8, 0x0b, 0, 0}, E_FAIL, fresh},
        {"width LONG_MIN", {0, 0, 1, 0, 0, 0, 0, 0x80, 0xb8, 0x0b, 0, 0}, E_FAIL, fresh},
        {"absurd height", {0, 0, 1, 0, 0x88, 0x13, 0, 0, 0x41, 0x42, 0x0f, 0}, E_FAIL, fresh},
        {"height 10 m", {0, 0, 1, 0, 0x88, 0x13, 0, 0, 0x40, 0x42, 0x0f, 0}, S_OK,
         {0, 0, 1, 0, 0x88, 0x13, 0, 0, 0x40, 0x42, 0x0f, 0}},
        {"zero extent", {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, S_OK, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        pa->InitNew();
        SIZEL odd = {77, 77};  // must not survive a failed load
        com_ptr<IOleObject> ole;
        a->QueryInterface(IID_IOleObject, ole.put_void());
        ole->SetExtent(DVASPECT_CONTENT, &odd);
        com_ptr<IStream> in;
        in = StreamOf(row.data);
        ok(pa->Load(in.get()) == row.expected, "%s: Load", row.what);
        ok(SaveStream(a.get()) == row.savedAfter, "%s: saved afterwards differs", row.what);
    }
    ok(pa->Load(nullptr) == E_POINTER, "null stream");

    com_ptr<IPersistPropertyBag> pb;
    a->QueryInterface(IID_IPersistPropertyBag, pb.put_void());
    Bag empty;
    ok(pb->Load(&empty, nullptr) == S_OK, "empty bag");
    ok(SaveStream(a.get()) == fresh, "empty bag is not the default");
    Bag bad;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"not a number");
    bad.Write(L"_Version", &text);
    VariantClear(&text);
    ok(pb->Load(&bad, nullptr) == E_FAIL, "bag with a bad version");
    ok(pb->Load(nullptr, nullptr) == E_POINTER, "null bag");

    // The same limits for a bag and for a container's SetExtent, which
    // keeps the extent it had.
    com_ptr<IOleObject> ole;
    a->QueryInterface(IID_IOleObject, ole.put_void());
    const struct {
        LONG cx, cy;
        bool taken;
    } sizes[] = {{-1, 3000, false},      {5000, -1, false},          {LONG_MIN, LONG_MIN, false},
                 {1000001, 10, false},   {10, LONG_MAX, false},      {0, 0, true},
                 {1000000, 1000000, true}, {5000, 3000, true}};
    for (const auto& size : sizes) {
        pa->InitNew();
        Bag sized;
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = size.cx;
        sized.Write(L"_ExtentX", &v);
        v.lVal = size.cy;
        sized.Write(L"_ExtentY", &v);
        ok(pb->Load(&sized, nullptr) == (size.taken ? S_OK : E_FAIL), "bag %ld x %ld", size.cx, size.cy);
        SIZEL got = {};
        ole->GetExtent(DVASPECT_CONTENT, &got);
        ok(size.taken ? got.cx == size.cx && got.cy == size.cy : SaveStream(a.get()) == fresh,
           "bag %ld x %ld: extent %ld x %ld", size.cx, size.cy, got.cx, got.cy);
        pa->InitNew();
        SIZEL asked = {size.cx, size.cy};
        ok(ole->SetExtent(DVASPECT_CONTENT, &asked) == (size.taken ? S_OK : E_INVALIDARG), "SetExtent %ld x %ld",
           size.cx, size.cy);
        ole->GetExtent(DVASPECT_CONTENT, &got);
        ok(size.taken ? got.cx == size.cx && got.cy == size.cy : got.cx == 2646 && got.cy == 1323,
           "SetExtent %ld x %ld: extent %ld x %ld", size.cx, size.cy, got.cx, got.cy);
    }
}

// Properties on the second of two controls works with the second
// control's site, although the first ran Properties before.
static void test_properties_two_controls() {
    simnode::Node nodeA, nodeB;
    nodeA.SetName("Node A");
    nodeB.SetName("Node B");
    simnode::Site siteA(nodeA), siteB(nodeB);
    {
        com_ptr<IOleObject> a, b;
        CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, a.put_void());
        CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, b.put_void());
        if (!ok(a.get() && b.get(), "not created")) return;
        ok(a->SetClientSite(siteA.ClientSite()) == S_OK && b->SetClientSite(siteB.ClientSite()) == S_OK,
           "SetClientSite");
        ok(siteA.siteRefs() == 1 && siteB.siteRefs() == 1, "site refs %ld %ld", siteA.siteRefs(), siteB.siteRefs());
        com_ptr<IOleClientSite> back;
        ok(b->GetClientSite(back.put()) == S_OK && back.get() == siteB.ClientSite() && siteB.siteRefs() == 2,
           "GetClientSite");
        back.reset();

        auto names = [](const simnode::Node& n) {
            int count = 0;
            for (const auto& call : n.log) count += call.op == simnode::Call::Name;
            return count;
        };
        struct Step {
            IOleObject* control;
            int namesA, namesB;  // GetNodeName calls so far
        } steps[] = {{a.get(), 1, 0}, {b.get(), 1, 1}, {b.get(), 1, 2}};
        int i = 0;
        for (const Step& step : steps) {
            wtest::Closer closer(kSheetCaption, PSM_PRESSBUTTON, PSBTN_OK);
            const HRESULT hr = step.control->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr);
            ok(hr == S_OK, "%d: Properties 0x%08lx", i, hr);
            ok(closer.closed == 1, "%d: sheet closed %d times", i, closer.closed);
            ok(names(nodeA) == step.namesA && names(nodeB) == step.namesB, "%d: names read A %d B %d", i,
               names(nodeA), names(nodeB));
            ok(siteA.readerRefs() == 0 && siteB.readerRefs() == 0 && siteA.writerRefs() == 0 &&
                   siteB.writerRefs() == 0, "%d: node interfaces kept", i);
            ++i;
        }
        ok(siteA.siteRefs() == 1 && siteB.siteRefs() == 1, "site refs after %ld %ld", siteA.siteRefs(),
           siteB.siteRefs());
        ok(b->SetClientSite(nullptr) == S_OK && siteB.siteRefs() == 0, "site B kept");
    }
    ok(siteA.siteRefs() == 0, "site A kept after the control went: %ld", siteA.siteRefs());
}

namespace {

// What one apartment did, checked by the main thread afterwards.
struct Apartment {
    int index = 0;
    int cycles = 6;
    wtest::ScriptCachePins* pins = nullptr;  // takes holds from the windows shown, when set
    simnode::Node node;
    std::string error;                   // the first thing that went wrong
    std::vector<std::string> names;      // node name the sheet showed, per cycle
    std::vector<std::string> readBack;   // Down setpoints shown after Write, per cycle and channel
    std::vector<std::string> typed;
    int abouts = 0, typeInfos = 0, draws = 0;
    long siteRefs = -1, readerRefs = -1, writerRefs = -1;
};

constexpr int kApartments = 4;
// Sunblind 1..4's Down setpoint edits.
const int kDownSetpointIds[4] = {IDC_SB1_DOWNSETPOINT, IDC_SB2_DOWNSETPOINT, IDC_SB3_DOWNSETPOINT,
                                 IDC_SB4_DOWNSETPOINT};

// Drives the sheet of one apartment: reads the name on the first tab, then
// on every sunblind tab types this apartment's value and presses Write.
void DriveSheet(Apartment& a, HWND sheet, int cycle) {
    a.names.push_back(wtest::Text(reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), IDC_NODENAME));
    for (int channel = 1; channel <= 4; ++channel) {
        SendMessageA(sheet, PSM_SETCURSEL, channel, 0);
        HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (a.pins) a.pins->Walk(sheet);
        const std::string value = std::to_string(1000 + 100 * a.index + 10 * cycle + channel);
        a.typed.push_back(value);
        SetDlgItemTextA(page, kDownSetpointIds[channel - 1], value.c_str());
        SendMessageA(GetDlgItem(page, IDC_WRITE), BM_CLICK, 0, 0);
        a.readBack.push_back(wtest::Text(page, kDownSetpointIds[channel - 1]));
    }
}

DWORD WINAPI RunApartment(void* param) {
    Apartment& a = *static_cast<Apartment*>(param);
    CoInitialize(nullptr);
    {
        simnode::Site site(a.node);
        com_ptr<IOleObject> ole;
        com_ptr<IDispatch> disp;
        com_ptr<IViewObject> view;
        CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, ole.put_void());
        if (ole) {
            ole->QueryInterface(IID_IDispatch, disp.put_void());
            ole->QueryInterface(IID_IViewObject, view.put_void());
        }
        if (!ole || !disp || !view || ole->SetClientSite(site.ClientSite()) != S_OK) a.error = "not created";
        for (int cycle = 0; cycle < a.cycles && a.error.empty(); ++cycle) {
            {
                wtest::Closer closer(kSheetCaption, PSM_PRESSBUTTON, PSBTN_OK);
                closer.onFound = [&](HWND sheet) { DriveSheet(a, sheet, cycle); };
                if (ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr) != S_OK ||
                    closer.closed != 1)
                    a.error = "Properties, cycle " + std::to_string(cycle);
            }
            {
                wtest::Closer closer("About Brisel Control", WM_COMMAND, IDOK);
                if (a.pins) closer.onFound = [&](HWND box) { a.pins->Walk(box); };
                DISPPARAMS none = {nullptr, nullptr, 0, 0};
                if (disp->Invoke(DISPID_ABOUTBOX, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr,
                                 nullptr) == S_OK)
                    a.abouts += closer.closed;
            }
            com_ptr<ITypeInfo> info;
            TYPEATTR* attr = nullptr;
            if (disp->GetTypeInfo(0, 0x409, info.put()) == S_OK && info && info->GetTypeAttr(&attr) == S_OK) {
                a.typeInfos += IsEqualIID(attr->guid, ocx::kDispIid);
                info->ReleaseTypeAttr(attr);
            }
            HDC dc = CreateCompatibleDC(nullptr);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, 60, 30);
            HGDIOBJ old = SelectObject(dc, bitmap);
            const RECTL bounds = {0, 0, 60, 30};
            a.draws += view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) ==
                       S_OK;
            SelectObject(dc, old);
            DeleteObject(bitmap);
            DeleteDC(dc);
        }
        if (ole) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        }
        view.reset();
        disp.reset();
        ole.reset();
        a.siteRefs = site.siteRefs();
        a.readerRefs = site.readerRefs();
        a.writerRefs = site.writerRefs();
    }
    CoUninitialize();
    return 0;
}

// Runs the apartments at once, each on a thread of its own, and checks what
// each did.
void RunApartments(std::vector<Apartment>& apartments) {
    std::vector<HANDLE> threads;
    for (Apartment& a : apartments) {
        a.node.SetName("Node " + std::to_string(a.index));
        threads.push_back(CreateThread(nullptr, 0, RunApartment, &a, 0, nullptr));
    }
    // Generous: each cycle takes well under a second.
    const DWORD waited = WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 240000);
    ok(waited == WAIT_OBJECT_0, "apartments still running: %lu", waited);
    for (HANDLE h : threads) CloseHandle(h);
    if (waited != WAIT_OBJECT_0) return;
    for (const Apartment& a : apartments) {
        const int i = a.index;
        ok(a.error.empty(), "%d: %s", i, a.error.c_str());
        ok(a.names == std::vector<std::string>(a.cycles, "Node " + std::to_string(i)), "%d: another node's name shown",
           i);
        ok(a.readBack == a.typed && a.typed.size() == 4u * a.cycles, "%d: %u values read back as typed of %u", i,
           (unsigned)a.readBack.size(), (unsigned)a.typed.size());
        int writes = 0;
        for (const auto& call : a.node.log) writes += call.op == simnode::Call::Write && call.result == 0;
        ok(writes == 10 * a.cycles, "%d: %d writes on the node, expected %d", i, writes, 10 * a.cycles);
        ok(a.abouts == a.cycles && a.typeInfos == a.cycles && a.draws == a.cycles,
           "%d: %d About boxes, %d type infos, %d draws", i, a.abouts, a.typeInfos, a.draws);
        ok(a.siteRefs == 0 && a.readerRefs == 0 && a.writerRefs == 0, "%d: references kept: site %ld reader %ld writer %ld",
           i, a.siteRefs, a.readerRefs, a.writerRefs);
    }
}

}  // namespace

// Several single-threaded apartments at once, each with its own control on
// its own simulated node: every one opens Properties, reads the name, writes
// every sunblind tab, shows the About box, asks for type information and
// draws, cycle after cycle. Each sheet talks only to its own control's
// node; everything taken is given back.
//
// Under Wine the fonts' shared script-cache entries are held first (see
// wtest::ScriptCachePins): one apartment alone shows every window once and
// the holds are taken from its real windows, a second runs a whole cycle
// alone with them held, then the four run at once as before.
static void test_apartments() {
    wtest::ScriptCachePins pins;
    {
        std::vector<Apartment> walk(1);
        walk[0].cycles = 1;
        walk[0].pins = &pins;
        RunApartments(walk);
        ok(!pins.active() || pins.held() >= 2, "fonts held: %u", unsigned(pins.held()));
        std::vector<Apartment> warm(1);
        warm[0].cycles = 1;
        RunApartments(warm);
    }
    std::vector<Apartment> apartments(kApartments);
    for (int i = 0; i < kApartments; ++i) apartments[i].index = i;
    RunApartments(apartments);
    ok(ocx::Module().CanUnloadNow() == S_OK, "objects left in the module");
}

namespace {

// A container that activates the control in place in a window of its own
// and, from the notifications it gets while the control deactivates, calls
// back into the control: asks its class and has it draw.
// A container's frame that records what it is told of modal dialogs:
// "F" for EnableModeless(FALSE), "T" for TRUE.
struct Frame final : IOleInPlaceFrame {
    std::string modeless;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (iid != IID_IUnknown && iid != IID_IOleWindow && iid != IID_IOleInPlaceUIWindow && iid != IID_IOleInPlaceFrame)
            return *ppv = nullptr, E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override { return *phwnd = nullptr, E_FAIL; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override { return modeless += enable ? 'T' : 'F', S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

struct InPlaceSite final : IOleClientSite, IOleInPlaceSite {
    HWND window = nullptr;
    Frame* frame = nullptr;  // handed out in the window context when set
    IOleObject* control = nullptr;  // borrowed, for the call-backs
    std::vector<std::string> events;
    LONG refs = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** pp) override { return *pp = nullptr, E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** pp) override { return *pp = nullptr, E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow, IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override { return *phwnd = window, S_OK; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return events.push_back("activate"), S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return events.push_back("ui-activate"), S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
        *frame = this->frame;
        if (*frame) (*frame)->AddRef();
        *doc = nullptr;
        SetRect(pos, 0, 0, 90, 60);
        *clip = *pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return CallBack("ui-deactivate"), S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        CallBack("deactivate");
        if (releaseOnDeactivate && control) control->Release(), control = nullptr;
        return S_OK;
    }
    bool releaseOnDeactivate = false;  // the container drops its last reference from the call-back
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // Records the event, whether the control still knows its class and
    // whether it still draws its picture.
    void CallBack(const char* what) {
        std::string event = what;
        CLSID clsid = GUID_NULL;
        if (control && control->GetUserClassID(&clsid) == S_OK && IsEqualCLSID(clsid, ocx::kClsid)) event += " class";
        com_ptr<IViewObject> view;
        if (control && control->QueryInterface(IID_IViewObject, view.put_void()) == S_OK) {
            HDC dc = CreateCompatibleDC(nullptr);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, 30, 30);
            HGDIOBJ old = SelectObject(dc, bitmap);
            PatBlt(dc, 0, 0, 30, 30, BLACKNESS);
            const RECTL bounds = {0, 0, 30, 30};
            view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
            int painted = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 30; ++x) painted += GetPixel(dc, x, y) != 0;
            if (painted > 0) event += " draws";
            SelectObject(dc, old);
            DeleteObject(bitmap);
            DeleteDC(dc);
        }
        events.push_back(event);
    }
};

}  // namespace

// The container drops its last reference while the control is UI-active:
// the control deactivates first, as a whole control, and only then goes; the
// container's call-backs during deactivation reach a control that still
// knows its class and draws.
// A control created into the site's new container window, given the site
// and activated by verb; its one reference is the caller's. Null when it
// could not be had.
static IOleObject* ActivatedInContainer(InPlaceSite& site, LONG verb) {
    site.window = CreateWindowExA(0, "STATIC", "container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150, nullptr,
                                  nullptr, nullptr, nullptr);
    IOleObject* ole = nullptr;
    CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&ole));
    if (!ok(ole != nullptr && site.window != nullptr, "not created")) return ole;
    site.control = ole;
    ok(ole->SetClientSite(&site) == S_OK, "SetClientSite");
    RECT pos = {0, 0, 90, 60};
    ok(ole->DoVerb(verb, nullptr, &site, 0, site.window, &pos) == S_OK, "activation by verb %ld", verb);
    return ole;
}

static void test_release_while_ui_active() {
    InPlaceSite site;
    IOleObject* ole = ActivatedInContainer(site, OLEIVERB_UIACTIVATE);
    if (!ole || !site.window) return;
    ok(site.events == std::vector<std::string>({"activate", "ui-activate"}), "activation events %u",
       (unsigned)site.events.size());
    HWND child = GetWindow(site.window, GW_CHILD);
    ok(child != nullptr, "no control window");
    site.events.clear();
    ole->Release();  // the last reference
    std::string seen;
    for (const auto& e : site.events) seen += e + ";";
    ok(seen == "ui-deactivate class draws;deactivate class draws;", "teardown events: %s", seen.c_str());
    ok(site.refs == 0, "site references left: %ld", site.refs);
    ok(!child || !IsWindow(child), "control window left");
    DestroyWindow(site.window);
}

namespace {
HWND s_sheet;  // the sheet test_modal_to_host closes
void CALLBACK PressSheetOk(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostMessageA(s_sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
}
}  // namespace

// The Properties sheet and the About box are modal to the host: owned by
// the top-level window of the verb's parent, else of the site's window,
// which stays disabled while they run; a container with an in-place frame
// is told through EnableModeless. Without a parent or a site window they
// have no owner.
static void test_modal_to_host() {
    Frame frame;
    InPlaceSite site;
    HWND top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
    HWND view = CreateWindowExA(0, "STATIC", "view", WS_CHILD | WS_VISIBLE, 0, 0, 200, 150, top, nullptr, nullptr,
                                nullptr);
    site.window = view;
    site.frame = &frame;
    com_ptr<IOleObject> ole;
    CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, ole.put_void());
    com_ptr<IDispatch> disp;
    if (!ok(ole && top && view && ole->QueryInterface(IID_IDispatch, disp.put_void()) == S_OK, "not created")) return;
    ok(ole->SetClientSite(&site) == S_OK, "SetClientSite");
    struct Row {
        const char* what;
        bool inPlace, about, siteWindow;
        HWND parent, owner;
        const char* modeless;  // told the frame while shown, and after
    } rows[] = {
        {"sheet, the verb's parent", false, false, true, view, top, ""},
        {"sheet, the site's window", false, false, true, nullptr, top, ""},
        {"sheet, no window known", false, false, false, nullptr, nullptr, ""},
        {"About box, the site's window", false, true, true, nullptr, top, ""},
        {"sheet in place", true, false, true, nullptr, top, "FT"},
        {"About box in place", true, true, true, nullptr, top, "FT"},
    };
    for (const Row& row : rows) {
        site.window = row.siteWindow ? view : nullptr;
        if (row.inPlace) {
            RECT pos = {0, 0, 90, 60};
            ok(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, view, &pos) == S_OK, "%s: activated", row.what);
        }
        frame.modeless.clear();
        HWND owner = reinterpret_cast<HWND>(-1);
        BOOL hostEnabled = TRUE;
        std::string modelessShown = "-";
        // This site has no node: the sheet first says so in a box it owns;
        // the box is closed, then the sheet.
        s_sheet = nullptr;
        wtest::Closer closer(row.about ? "About Brisel Control" : "Plugin", WM_COMMAND, IDOK);
        closer.onFound = [&](HWND dialog) {
            if (!row.about) {
                s_sheet = GetWindow(dialog, GW_OWNER);
                dialog = s_sheet;
                SetTimer(nullptr, 0, 200, PressSheetOk);
            }
            owner = GetWindow(dialog, GW_OWNER);
            hostEnabled = IsWindowEnabled(top);
            modelessShown = frame.modeless;
        };
        HRESULT hr;
        if (row.about) {
            DISPPARAMS none = {nullptr, nullptr, 0, 0};
            hr = disp->Invoke(DISPID_ABOUTBOX, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        } else {
            hr = ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, &site, 0, row.parent, nullptr);
        }
        ok(hr == S_OK && closer.closed == 1 && (row.about || (s_sheet && !IsWindow(s_sheet))), "%s: 0x%08lx, closed %d",
           row.what, hr, closer.closed);
        ok(owner == row.owner, "%s: owner %p, expected %p", row.what, (void*)owner, (void*)row.owner);
        ok(!hostEnabled == (row.owner != nullptr), "%s: host window enabled while shown: %d", row.what, hostEnabled);
        ok(IsWindowEnabled(top), "%s: host window left disabled", row.what);
        ok(modelessShown == std::string(row.modeless).substr(0, 1) && frame.modeless == row.modeless,
           "%s: frame told '%s' while shown, '%s' in all", row.what, modelessShown.c_str(), frame.modeless.c_str());
        if (row.inPlace) {
            com_ptr<IOleInPlaceObject> inPlace;
            if (ole->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void()) == S_OK) inPlace->InPlaceDeactivate();
        }
    }
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole.reset();
    DestroyWindow(top);
}

// The container takes its site away while the control is in place and,
// told of the deactivation, drops its last reference: the control
// deactivates once, as a whole control, and goes only after the call.
static void test_site_dropped_while_in_place() {
    InPlaceSite site;
    IOleObject* ole = ActivatedInContainer(site, OLEIVERB_INPLACEACTIVATE);
    if (!ole || !site.window) return;
    site.events.clear();
    site.releaseOnDeactivate = true;
    ok(ole->SetClientSite(nullptr) == S_OK, "site dropped");
    std::string seen;
    for (const auto& e : site.events) seen += e + ";";
    ok(seen == "deactivate class draws;", "events: %s", seen.c_str());
    ok(site.control == nullptr && site.refs == 0, "site references left: %ld", site.refs);
    ok(ocx::Module().CanUnloadNow() == S_OK, "the control is still there");
    DestroyWindow(site.window);
}

WTEST_MAIN(WTEST(ocx::init), WTEST(test_identity), WTEST(test_verbs), WTEST(test_dispatch),
           WTEST(test_connection_points), WTEST(test_persistence_round_trip), WTEST(test_persistence_bad_data),
           WTEST(test_properties_two_controls), WTEST(test_apartments),
           WTEST(test_release_while_ui_active), WTEST(test_modal_to_host),
           WTEST(test_site_dropped_while_in_place), WTEST(ocx::done))
