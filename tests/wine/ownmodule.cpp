// ownmodule [--probe]: a client of either bitness creates the control by its
// ProgID, as a host does, and prints its own bitness and the file of the
// Brisel.ocx that COM loaded into it. Exit code 0 when the control was
// created; --probe only shows that programs of this bitness run at all.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>

#include "ocxhelp.h"
#include "wide.h"

int main(int argc, char** argv) {
    std::printf("bits: %u\n", static_cast<unsigned>(sizeof(void*) * 8));
    if (argc > 1 && std::strcmp(argv[1], "--probe") == 0) return 0;
    if (FAILED(OleInitialize(nullptr))) return 3;
    int rc = 2;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(brhost::Wide(ocx::kProgId).c_str(), &clsid);
    IUnknown* control = nullptr;
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&control));
    std::printf("created: 0x%08lx\n", static_cast<unsigned long>(hr));
    if (SUCCEEDED(hr) && control) {
        wchar_t path[MAX_PATH] = {};
        HMODULE module = GetModuleHandleW(L"Brisel.ocx");
        if (module && GetModuleFileNameW(module, path, MAX_PATH) > 0) {
            std::printf("module: %s\n", brhost::Utf8(path).c_str());
            rc = 0;
        }
        control->Release();
    }
    OleUninitialize();
    return rc;
}
