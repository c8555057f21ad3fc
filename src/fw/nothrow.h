// Keeps C++ exceptions inside the module. Callers of COM methods, window
// and dialog procedures and exports are written in other languages (or are
// the system), and an exception unwinding into their frames ends the
// process: at those boundaries every exception becomes a result.
#pragma once

#include <windows.h>

#include <new>

// The result of the exception being handled: E_OUTOFMEMORY for a failed
// allocation, E_UNEXPECTED for anything else. Only inside a handler.
inline HRESULT AfxResultOfException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The one epilogue of every COM method of the class layer, which is written
// as a function try block:
//     STDMETHODIMP X::Method() try { ... }
//     AFX_CATCH_RETURN
// so no method needs judging on whether something in it can throw.
#define AFX_CATCH_RETURN \
    catch (...) {        \
        return AfxResultOfException(); \
    }

// The HRESULT of fn(), or E_OUTOFMEMORY when an allocation failed and
// E_UNEXPECTED for any other exception.
template <class Fn>
HRESULT AfxCallNoThrow(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        return AfxResultOfException();
    }
}

// fn()'s result, or onException when it threw (window and dialog
// procedures: the message then counts as not handled).
template <class R, class Fn>
R AfxCallNoThrowOr(R onException, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        return onException;
    }
}
