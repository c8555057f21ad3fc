// Owner of one counted COM reference: released exactly once, by reset() or
// the destructor. put() releases what it held before handing out its slot.
#pragma once

#include <objbase.h>

template <class T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    T** put() {
        reset();
        return &m_p;
    }
    void reset() {
        if (T* p = m_p) {
            m_p = nullptr;
            p->Release();
        }
    }
    // Takes over a reference the caller already owns.
    void attach(T* p) {
        reset();
        m_p = p;
    }

private:
    T* m_p = nullptr;
};

// Queries from for iid. The reference is kept only when the query returns
// S_OK; a failed query's out-value is never trusted or released, so a host
// that leaves garbage behind on failure cannot make us release it.
template <class T>
HRESULT try_query(IUnknown* from, REFIID iid, com_ptr<T>& out) {
    out.reset();
    if (!from) return E_POINTER;
    void* raw = nullptr;
    const HRESULT hr = from->QueryInterface(iid, &raw);
    if (hr == S_OK) out.attach(static_cast<T*>(raw));
    return hr;
}
