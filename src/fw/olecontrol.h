// COleControl: the base of the module's ActiveX controls. It is the COM
// object that containers see: IOleObject (client site, verbs, extents,
// close), IOleControl, in-place activation in a child window of the
// container that paints through OnDraw, IViewObject2, IDispatch from the
// control's dispatch map with type information from its type library,
// IProvideClassInfo2, one (event) connection point, and persistence through
// streams, property bags and storages, all running DoPropExchange.
//
// An object starts with one reference, its creator's: the class factory
// drops it after handing out the caller's, and the last Release deletes the
// object. A control built as a plain C++ object keeps that reference and is
// destroyed by its owner. While it exists an object keeps the module loaded.
// It keeps the client site that the container hands it (one counted
// reference, released when the site changes or the control goes).
#pragma once

#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <map>

#include "comptr.h"
#include "olefactory.h"
#include "propexch.h"
#include "wnd.h"

// One automation method of a control's dispatch map: no parameters, no result.
class COleControl;
struct AFX_DISPMAP_ENTRY {
    LPCWSTR lpszName;
    DISPID dispid;
    void (COleControl::*pfn)();
};

// The type library of one LIBID, loaded once and shared by the objects that
// use it; released when the last of them goes.
class CTypeLibCache {
public:
    explicit CTypeLibCache(const GUID& libid) : m_libid(libid) {}
    void Lock();
    void Unlock();
    // The cached library when it was loaded for lcid (AddRef'd), or FALSE.
    BOOL Lookup(LCID lcid, ITypeLib** ppTypeLib);
    void Cache(LCID lcid, ITypeLib* pTypeLib);
    const GUID& GetLibID() const { return m_libid; }

private:
    GUID m_libid;
    SRWLOCK m_lock = SRWLOCK_INIT;
    LONG m_cRef = 0;  // changed with interlocked operations
    LCID m_lcid = 0;
    com_ptr<ITypeLib> m_pTypeLib;
};

// The module's cache for the library pTypeLibID.
CTypeLibCache* AfxGetTypeLibCache(const GUID* pTypeLibID);

class COleControl : public CWnd {
public:
    COleControl();
    ~COleControl() override;
    COleControl(const COleControl&) = delete;

    virtual const CRuntimeClass* GetRuntimeClass() const { return nullptr; }

    // The client site: borrowed, the caller neither counts nor releases it.
    IOleClientSite* GetClientSite() const { return m_pClientSite.get(); }
    // Keeps one counted reference to pClientSite (null drops the site).
    void SetClientSite(IOleClientSite* pClientSite);

    // The COM object.
    HRESULT ExternalQueryInterface(REFIID iid, void** ppv);
    ULONG ExternalAddRef();
    ULONG ExternalRelease();
    IUnknown* GetControllingUnknown() { return &m_xOleObject; }

    // Identity.
    virtual HRESULT GetClassID(LPCLSID pclsid) = 0;
    virtual UINT GetUserTypeNameID() = 0;
    virtual DWORD GetMiscStatus() = 0;

    // Automation and type information.
    virtual UINT GetTypeInfoCount() { return 0; }
    virtual CTypeLibCache* GetTypeLibCache() { return nullptr; }
    virtual HRESULT GetTypeLib(LCID lcid, LPTYPELIB* ppTypeLib);
    virtual const AFX_DISPMAP_ENTRY* GetDispatchMap() const { return nullptr; }  // ends with a null name
    // The type information for guid: from the cache, the registered library
    // (GetTypeLib) or, failing that, the library inside the module.
    HRESULT GetTypeInfoOfGuid(LCID lcid, REFGUID guid, ITypeInfo** ppTypeInfo);

    // Persistence. The base exchanges the control's extent.
    virtual void DoPropExchange(CPropExchange* pPX);
    virtual void OnResetState();
    DWORD GetVersionLoaded() const { return m_dwVersionLoaded; }

    // Drawing: the whole appearance, into rcBounds.
    virtual void OnDraw(HDC hdc, const RECT& rcBounds, const RECT& rcInvalid) {}

    // The Properties verb (OLEIVERB_PROPERTIES).
    virtual BOOL OnProperties(LPMSG lpMsg, HWND hWndParent, LPCRECT lpRect) { return FALSE; }

    BOOL IsInPlaceActive() const { return m_bInPlaceActive; }

    // Around each modal dialog of the control (the Properties sheet, the
    // About box), so that the host cannot be reached behind it: returns the
    // window that is to own the dialog, the top-level window of hWndParent
    // or, when none is given, of the container's site window (null when
    // neither is known); a container with an in-place frame is told through
    // IOleInPlaceFrame::EnableModeless. The dialog's own modal loop disables
    // its owner and enables it again before it goes.
    HWND PreModalDialog(HWND hWndParent = nullptr);
    void PostModalDialog();

    // Removes the control window class of the module; the module's
    // shut-down calls it.
    static void UnregisterWindowClass();

protected:
    // The dispatch interface (first) and event interface (second).
    void InitializeIIDs(const IID* piidPrimary, const IID* piidEvents);

    // Loaded-version value that DoPropExchange hands to ExchangeVersion.
    DWORD m_dwVersionLoaded = 0;

private:
    friend LRESULT CALLBACK AfxControlWndProc(HWND, UINT, WPARAM, LPARAM);

    void OnFinalRelease();
    // DoPropExchange: S_OK, failure when the exchange failed, E_OUTOFMEMORY
    // (or E_UNEXPECTED) when it threw.
    HRESULT ExchangeWith(CPropExchange* pPX, HRESULT failure);
    HRESULT LookUpTypeInfo(LCID lcid, REFGUID guid, ITypeInfo** ppTypeInfo);
    HRESULT LoadFromStream(IStream* pStream);
    HRESULT SaveToStream(IStream* pStream);
    void SetModifiedFlag(BOOL bModified = TRUE) { m_bModified = bModified; }

    HRESULT DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, HWND hwndParent, LPCRECT lprcPosRect);
    HRESULT InPlaceActivate(BOOL bUIActivate);
    HRESULT InPlaceDeactivate();
    HRESULT UIDeactivate();
    HRESULT SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect);
    HRESULT Invoke(DISPID dispid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, UINT* puArgErr);
    HRESULT GetUserTypeName(LPOLESTR* ppsz);
    void OnPaint();
    void DrawContent(HDC hdc, const RECT& rc);

    LONG m_dwRef = 1;
    const IID* m_piidPrimary = nullptr;
    const IID* m_piidEvents = nullptr;
    CTypeLibCache* m_pLockedCache = nullptr;

    com_ptr<IOleClientSite> m_pClientSite;
    com_ptr<IOleAdviseHolder> m_pOleAdviseHolder;
    com_ptr<IAdviseSink> m_pViewAdviseSink;
    DWORD m_dwViewAdviseAspects = 0, m_dwViewAdviseFlags = 0;
    std::map<DWORD, com_ptr<IUnknown>> m_eventSinks;
    DWORD m_dwNextCookie = 1;

    SIZEL m_extent;  // HIMETRIC
    BOOL m_bModified = FALSE;
    LONG m_nFreezeEvents = 0;

    BOOL m_bInPlaceActive = FALSE;
    BOOL m_bUIActive = FALSE;
    com_ptr<IOleInPlaceSite> m_pInPlaceSite;
    com_ptr<IOleInPlaceFrame> m_pInPlaceFrame;
    com_ptr<IOleInPlaceFrame> m_pModalFrame;  // told EnableModeless(FALSE) by PreModalDialog
    com_ptr<IOleInPlaceUIWindow> m_pInPlaceDoc;
    RECT m_rcPos = {0, 0, 0, 0};

    // The interfaces, each a part that delegates its IUnknown to the object.
#define FW_BEGIN_PART(name, iface)                                                                        \
    struct X##name : iface {                                                                              \
        explicit X##name(COleControl* p) : m_pThis(p) {}                                                  \
        COleControl* m_pThis;                                                                             \
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {                       \
            return m_pThis->ExternalQueryInterface(iid, ppv);                                             \
        }                                                                                                 \
        ULONG STDMETHODCALLTYPE AddRef() override { return m_pThis->ExternalAddRef(); }                   \
        ULONG STDMETHODCALLTYPE Release() override { return m_pThis->ExternalRelease(); }
// A part that is an object of its own for QueryInterface (a connection
// point): it answers IUnknown and iface with itself, its lifetime is the
// control's.
#define FW_BEGIN_OWN_PART(name, iface)                                                                    \
    struct X##name : iface {                                                                              \
        explicit X##name(COleControl* p) : m_pThis(p) {}                                                  \
        COleControl* m_pThis;                                                                             \
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;                        \
        ULONG STDMETHODCALLTYPE AddRef() override { return m_pThis->ExternalAddRef(); }                   \
        ULONG STDMETHODCALLTYPE Release() override { return m_pThis->ExternalRelease(); }
#define FW_END_PART(name) \
    }                     \
    m_x##name{this};

    FW_BEGIN_PART(OleObject, IOleObject)
    STDMETHOD(SetClientSite)(IOleClientSite* pClientSite) override;
    STDMETHOD(GetClientSite)(IOleClientSite** ppClientSite) override;
    STDMETHOD(SetHostNames)(LPCOLESTR, LPCOLESTR) override;
    STDMETHOD(Close)(DWORD dwSaveOption) override;
    STDMETHOD(SetMoniker)(DWORD, IMoniker*) override;
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHOD(InitFromData)(IDataObject*, BOOL, DWORD) override;
    STDMETHOD(GetClipboardData)(DWORD, IDataObject** ppDataObject) override;
    STDMETHOD(DoVerb)(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                      LPCRECT lprcPosRect) override;
    STDMETHOD(EnumVerbs)(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHOD(Update)() override;
    STDMETHOD(IsUpToDate)() override;
    STDMETHOD(GetUserClassID)(CLSID* pClsid) override;
    STDMETHOD(GetUserType)(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHOD(SetExtent)(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHOD(GetExtent)(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHOD(Advise)(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHOD(Unadvise)(DWORD dwConnection) override;
    STDMETHOD(EnumAdvise)(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHOD(GetMiscStatus)(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHOD(SetColorScheme)(LOGPALETTE*) override;
    FW_END_PART(OleObject)

    FW_BEGIN_PART(Dispatch, IDispatch)
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    FW_END_PART(Dispatch)

    FW_BEGIN_PART(OleControl, IOleControl)
    STDMETHOD(GetControlInfo)(CONTROLINFO* pCI) override;
    STDMETHOD(OnMnemonic)(MSG*) override;
    STDMETHOD(OnAmbientPropertyChange)(DISPID) override;
    STDMETHOD(FreezeEvents)(BOOL bFreeze) override;
    FW_END_PART(OleControl)

    FW_BEGIN_PART(OleInPlaceObject, IOleInPlaceObject)
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override;
    STDMETHOD(InPlaceDeactivate)() override;
    STDMETHOD(UIDeactivate)() override;
    STDMETHOD(SetObjectRects)(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHOD(ReactivateAndUndo)() override;
    FW_END_PART(OleInPlaceObject)

    FW_BEGIN_PART(OleInPlaceActiveObject, IOleInPlaceActiveObject)
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override;
    STDMETHOD(TranslateAccelerator)(LPMSG) override;
    STDMETHOD(OnFrameWindowActivate)(BOOL) override;
    STDMETHOD(OnDocWindowActivate)(BOOL) override;
    STDMETHOD(ResizeBorder)(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
    STDMETHOD(EnableModeless)(BOOL) override;
    FW_END_PART(OleInPlaceActiveObject)

    FW_BEGIN_PART(ViewObject, IViewObject2)
    STDMETHOD(Draw)(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev,
                    HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds, BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR),
                    ULONG_PTR dwContinue) override;
    STDMETHOD(GetColorSet)(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** ppColorSet) override;
    STDMETHOD(Freeze)(DWORD, LONG, void*, DWORD* pdwFreeze) override;
    STDMETHOD(Unfreeze)(DWORD) override;
    STDMETHOD(SetAdvise)(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHOD(GetAdvise)(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHOD(GetExtent)(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    FW_END_PART(ViewObject)

    FW_BEGIN_PART(ProvideClassInfo, IProvideClassInfo2)
    STDMETHOD(GetClassInfo)(ITypeInfo** ppTI) override;
    STDMETHOD(GetGUID)(DWORD dwGuidKind, GUID* pGUID) override;
    FW_END_PART(ProvideClassInfo)

    FW_BEGIN_PART(ConnPtContainer, IConnectionPointContainer)
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) override;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override;
    FW_END_PART(ConnPtContainer)

    FW_BEGIN_OWN_PART(EventConnPt, IConnectionPoint)
    STDMETHOD(GetConnectionInterface)(IID* pIID) override;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) override;
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHOD(Unadvise)(DWORD dwCookie) override;
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) override;
    FW_END_PART(EventConnPt)

    FW_BEGIN_PART(PersistStreamInit, IPersistStreamInit)
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(IsDirty)() override;
    STDMETHOD(Load)(LPSTREAM pStm) override;
    STDMETHOD(Save)(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pCbSize) override;
    STDMETHOD(InitNew)() override;
    FW_END_PART(PersistStreamInit)

    FW_BEGIN_PART(PersistPropertyBag, IPersistPropertyBag)
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(InitNew)() override;
    STDMETHOD(Load)(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
    STDMETHOD(Save)(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;
    FW_END_PART(PersistPropertyBag)

    FW_BEGIN_PART(PersistStorage, IPersistStorage)
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(IsDirty)() override;
    STDMETHOD(InitNew)(IStorage* pStg) override;
    STDMETHOD(Load)(IStorage* pStg) override;
    STDMETHOD(Save)(IStorage* pStgSave, BOOL fSameAsLoad) override;
    STDMETHOD(SaveCompleted)(IStorage* pStgNew) override;
    STDMETHOD(HandsOffStorage)() override;
    FW_END_PART(PersistStorage)

#undef FW_BEGIN_PART
#undef FW_END_PART
};
