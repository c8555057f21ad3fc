// CDeskControl: Brisel.ocx from Brisel Settings' own folder, loaded by its
// path (never through the registry: no registration or administrator
// rights are needed, and a copy registered elsewhere is not used), and one
// control of it. Released, then the module freed, when it goes.
#pragma once

#include <ole2.h>

#include <string>

#include "fw/comptr.h"

class CDeskControl {
public:
    CDeskControl() = default;
    ~CDeskControl();
    CDeskControl(const CDeskControl&) = delete;
    CDeskControl& operator=(const CDeskControl&) = delete;

    // False with what went wrong, in plain words.
    bool Load(std::string& error);
    IOleObject* Control() const { return m_control.get(); }

private:
    HMODULE m_module = nullptr;
    com_ptr<IOleObject> m_control;
};
