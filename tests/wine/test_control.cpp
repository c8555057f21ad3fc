// The control as containers use it: created through COM from the
// registered module, asked for its identity, verbs and automation, saved
// and loaded, and driven by a simulated node's client site.
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <prsht.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fw/comptr.h"
#include "ocxhelp.h"
#include "simnode/simnode.h"
#include "wtest.h"

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
    ocx::Closer closer("About Brisel Control", WM_COMMAND, IDOK);
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
            ocx::Closer closer("Sarp", PSM_PRESSBUTTON, PSBTN_OK);
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

WTEST_MAIN(WTEST(ocx::init), WTEST(test_identity), WTEST(test_verbs), WTEST(test_dispatch),
           WTEST(test_connection_points), WTEST(test_persistence_round_trip), WTEST(test_persistence_bad_data),
           WTEST(test_properties_two_controls), WTEST(ocx::done))
