// Keeps C++ exceptions inside the module. Callers of COM methods, window
// and dialog procedures and exports are written in other languages (or are
// the system), and an exception unwinding into their frames ends the
// process: at those boundaries every exception becomes a result.
#pragma once

#include <windows.h>

#include <new>

// The HRESULT of fn(), or E_OUTOFMEMORY when an allocation failed and
// E_UNEXPECTED for any other exception.
template <class Fn>
HRESULT AfxCallNoThrow(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
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
