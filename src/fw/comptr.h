// Owner of one counted COM reference: released exactly once, by reset(),
// reassignment or the destructor. Moving hands the reference on; there is no
// copy, so every AddRef the code makes is visible as reset(p) or copy_to().
#pragma once

#include <objbase.h>

#include <cstddef>

template <class T>
class com_ptr {
public:
    com_ptr() = default;
    com_ptr(std::nullptr_t) {}
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& o) noexcept : m_p(o.detach()) {}
    com_ptr& operator=(com_ptr&& o) noexcept {
        if (this != &o) attach(o.detach());
        return *this;
    }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // The slot for an out-parameter; what was held before is released.
    T** put() {
        reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (T* p = m_p) {
            m_p = nullptr;
            p->Release();
        }
    }
    // Shares p: takes a reference of its own (p may be what is held now).
    void reset(T* p) {
        if (p) p->AddRef();
        attach(p);
    }
    // Takes over a reference the caller already owns.
    void attach(T* p) {
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    // Gives up the reference to the caller, who must release it.
    T* detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // Hands a reference of the caller's own to *pp (null when empty).
    HRESULT copy_to(T** pp) const {
        if (!pp) return E_POINTER;
        *pp = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }

private:
    T* m_p = nullptr;
};

// A counted reference of its own to p (null stays null).
template <class T>
com_ptr<T> com_share(T* p) {
    com_ptr<T> r;
    r.reset(p);
    return r;
}

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
