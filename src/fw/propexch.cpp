#include "propexch.h"

#include <string>

BOOL CPropExchange::ExchangeVersion(DWORD& dwVersionLoaded, DWORD dwVersionDefault, BOOL bConvert) {
    LONG value = static_cast<LONG>(m_bLoading ? dwVersionDefault : (bConvert ? dwVersionDefault : dwVersionLoaded));
    const BOOL ok = ExchangeLong("_Version", value, static_cast<LONG>(dwVersionDefault));
    if (m_bLoading) dwVersionLoaded = ok ? static_cast<DWORD>(value) : dwVersionDefault;
    m_dwVersion = m_bLoading ? dwVersionLoaded : static_cast<DWORD>(value);
    return ok;
}

BOOL CStreamPropExchange::ExchangeLong(LPCSTR, LONG& value, LONG defaultValue) {
    if (m_bFailed || !m_pStream) {
        if (m_bLoading) value = defaultValue;
        m_bFailed = TRUE;
        return FALSE;
    }
    BYTE bytes[4];
    ULONG done = 0;
    if (m_bLoading) {
        if (FAILED(m_pStream->Read(bytes, sizeof bytes, &done)) || done != sizeof bytes) {
            value = defaultValue;
            m_bFailed = TRUE;
            return FALSE;
        }
        const DWORD v = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
        value = static_cast<LONG>(v);
        return TRUE;
    }
    const DWORD v = static_cast<DWORD>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(v >> (8 * i));
    if (FAILED(m_pStream->Write(bytes, sizeof bytes, &done)) || done != sizeof bytes) {
        m_bFailed = TRUE;
        return FALSE;
    }
    return TRUE;
}

BOOL CPropBagPropExchange::ExchangeLong(LPCSTR pszName, LONG& value, LONG defaultValue) {
    if (!m_pBag) {
        if (m_bLoading) value = defaultValue;
        m_bFailed = TRUE;
        return FALSE;
    }
    const std::wstring name(pszName, pszName + lstrlenA(pszName));  // property names are ASCII
    VARIANT v;
    VariantInit(&v);
    if (m_bLoading) {
        // Asked for whatever type the bag holds, so that a value that is
        // there but is no number is told from one that is not there.
        HRESULT hr = m_pBag->Read(name.c_str(), &v, m_pLog);
        if (FAILED(hr)) {  // not stored: the default
            VariantClear(&v);
            value = defaultValue;
            return TRUE;
        }
        hr = VariantChangeType(&v, &v, 0, VT_I4);
        if (FAILED(hr)) {
            VariantClear(&v);
            value = defaultValue;
            m_bFailed = TRUE;
            return FALSE;
        }
        value = v.lVal;
        return TRUE;
    }
    v.vt = VT_I4;
    v.lVal = value;
    if (FAILED(m_pBag->Write(name.c_str(), &v))) {
        m_bFailed = TRUE;
        return FALSE;
    }
    return TRUE;
}
