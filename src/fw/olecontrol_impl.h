// What the files of COleControl share among themselves: the entry prologue
// of the interface parts, the keep-alive guard, small helpers and the one
// enumerator of the module's objects. Not for use outside src/fw.
#pragma once

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "afxstate.h"
#include "nothrow.h"
#include "olecontrol.h"

// Every entry of an interface part runs with the module's own state current
// and works on its object.
#define METHOD_PROLOGUE           \
    COleControl* pThis = m_pThis; \
    (void)pThis;                  \
    AFX_MANAGE_STATE(AfxGetStaticModuleState())

namespace olecontrol_detail {

// The window class of in-place active controls.
extern const char kWindowClass[];

// 100 x 50 pixels at 96 dots per inch, in HIMETRIC.
constexpr LONG kDefaultExtentX = 2646;
constexpr LONG kDefaultExtentY = 1323;

// The largest extent the control takes, from a container or saved data:
// 10 m, more than the largest window (32767 pixels at 96 dots per inch is
// 866 950 HIMETRIC). Negative extents are refused as well.
constexpr LONG kMaxExtent = 1000000;
inline bool IsSaneExtent(const SIZEL& size) {
    return size.cx >= 0 && size.cy >= 0 && size.cx <= kMaxExtent && size.cy <= kMaxExtent;
}

// The width or height from one edge to the other, worked out in 64 bits:
// 0 for reversed edges, at most what a window size can hold.
inline int Span(LONG from, LONG to) {
    const long long span = static_cast<long long>(to) - from;
    return span <= 0 ? 0 : span > INT_MAX ? INT_MAX : static_cast<int>(span);
}

// Keeps an object alive across a call that may make its container release it.
class KeepAlive {
public:
    explicit KeepAlive(COleControl* p) : m_ref(com_share(p->GetControllingUnknown())) {}

private:
    com_ptr<IUnknown> m_ref;
};

LPOLESTR CoTaskStrDup(const wchar_t* text);

// A heap object with its own reference count that keeps the module loaded.
template <class I>
class CModuleObject : public I {
public:
    explicit CModuleObject(REFIID iid) : m_iid(iid) { AfxOleLockApp(); }
    virtual ~CModuleObject() { AfxOleUnlockApp(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, m_iid)) {
            *ppv = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = InterlockedDecrement(&m_ref);
        if (ref == 0) delete this;
        return static_cast<ULONG>(ref);
    }

private:
    LONG m_ref = 1;
    const IID& m_iid;
};

// Copy policies of CEnum: how a held item is handed to the caller.
struct CopyVerb {
    // The caller frees the name with CoTaskMemFree.
    static HRESULT copy(OLEVERB* to, const OLEVERB& from) {
        *to = from;
        to->lpszVerbName = CoTaskStrDup(from.lpszVerbName);
        return to->lpszVerbName ? S_OK : E_OUTOFMEMORY;
    }
};
template <class I>
struct CopyInterface {
    // The caller releases the reference.
    static HRESULT copy(I** to, const com_ptr<I>& from) { return from.copy_to(to); }
};

// An IEnumXxx over a fixed list of items. Clones share the list; each keeps
// its own position. An item that cannot be copied ends a Next early.
template <class IEnum, class Item, class Held, class Copy>
class CEnum : public CModuleObject<IEnum> {
public:
    using List = std::vector<Held>;
    CEnum(REFIID iid, std::shared_ptr<const List> items, ULONG position = 0)
        : CModuleObject<IEnum>(iid), m_iid(iid), m_items(std::move(items)), m_pos(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item* rgelt, ULONG* pceltFetched) override {
        if (!rgelt || (celt != 1 && !pceltFetched)) return E_POINTER;
        ULONG fetched = 0;
        while (fetched < celt && m_pos < count()) {
            if (FAILED(Copy::copy(&rgelt[fetched], (*m_items)[m_pos]))) break;
            ++fetched;
            ++m_pos;
        }
        if (pceltFetched) *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const ULONG left = count() - m_pos;
        m_pos += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_pos = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new (std::nothrow) CEnum(m_iid, m_items, m_pos);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    ULONG count() const { return static_cast<ULONG>(m_items->size()); }

    const IID& m_iid;
    std::shared_ptr<const List> m_items;
    ULONG m_pos;
};

using CEnumVerbs = CEnum<IEnumOLEVERB, OLEVERB, OLEVERB, CopyVerb>;
using CEnumConnPts = CEnum<IEnumConnectionPoints, IConnectionPoint*, com_ptr<IConnectionPoint>,
                           CopyInterface<IConnectionPoint>>;

}  // namespace olecontrol_detail
