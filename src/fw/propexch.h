// Property exchange: one DoPropExchange routine of a control serves loading,
// saving and resetting, against a stream, a property bag or the defaults.
#pragma once

#include <ole2.h>
#include <ocidl.h>

class CPropExchange {
public:
    virtual ~CPropExchange() = default;

    BOOL IsLoading() const { return m_bLoading; }
    // Loading: the version found in the data (the default when none was
    // stored). Saving: the version being written.
    DWORD GetVersion() const { return m_dwVersion; }

    // Loading: dwVersionLoaded becomes the stored version, or
    // dwVersionDefault when the data holds none. Saving: writes
    // dwVersionDefault when bConvert (the data is brought up to the current
    // version), dwVersionLoaded otherwise. FALSE when the exchange failed.
    virtual BOOL ExchangeVersion(DWORD& dwVersionLoaded, DWORD dwVersionDefault, BOOL bConvert);

    // One 32-bit property. Loading a property that the data does not hold
    // gives the default. FALSE when the exchange failed.
    virtual BOOL ExchangeLong(LPCSTR pszName, LONG& value, LONG defaultValue) = 0;

    // TRUE once any exchange failed (bad or short data, a failed write).
    BOOL Failed() const { return m_bFailed; }
    // Loading: the data held a value the control cannot use.
    void SetFailed() { m_bFailed = TRUE; }

protected:
    explicit CPropExchange(BOOL bLoading) : m_bLoading(bLoading) {}

    BOOL m_bLoading;
    DWORD m_dwVersion = 0;
    BOOL m_bFailed = FALSE;
};

inline BOOL PX_Long(CPropExchange* pPX, LPCSTR pszName, LONG& value, LONG defaultValue) {
    return pPX->ExchangeLong(pszName, value, defaultValue);
}

// The stream form: the properties in exchange order, each as a 32-bit
// little-endian number, the version first.
class CStreamPropExchange : public CPropExchange {
public:
    CStreamPropExchange(IStream* pStream, BOOL bLoading) : CPropExchange(bLoading), m_pStream(pStream) {}
    BOOL ExchangeLong(LPCSTR pszName, LONG& value, LONG defaultValue) override;

private:
    IStream* m_pStream;
};

// Named properties in a property bag, as VT_I4 values; the version is
// "_Version".
class CPropBagPropExchange : public CPropExchange {
public:
    CPropBagPropExchange(IPropertyBag* pBag, IErrorLog* pLog, BOOL bLoading)
        : CPropExchange(bLoading), m_pBag(pBag), m_pLog(pLog) {}
    BOOL ExchangeLong(LPCSTR pszName, LONG& value, LONG defaultValue) override;

private:
    IPropertyBag* m_pBag;
    IErrorLog* m_pLog;
};

// Sets every property to its default (a new or reset control).
class CResetPropExchange : public CPropExchange {
public:
    CResetPropExchange() : CPropExchange(TRUE) {}
    BOOL ExchangeLong(LPCSTR, LONG& value, LONG defaultValue) override {
        value = defaultValue;
        return TRUE;
    }
};

// Bytes the stream form needs for nProps properties.
inline ULONG PX_StreamSize(ULONG nProps) { return nProps * 4; }
