// The plug-in as the host holds it: found through the registry by the node's
// program ID, created in-process, given the node's client site, drawn into
// the host's window and asked for its Properties. Standard OLE interfaces
// only; nothing of the plug-in's own code is known here.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "discovery.h"
#include "fw/comptr.h"

namespace brhost {

// Process exit codes of the host.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNodeFile = 2,
    kExitNoPlugin = 3,
    kExitLoad = 4,
    kExitPlugin = 5,
    kExitStopped = 9,  // tests only: a save stopped on purpose (--stop-save-after)
};

std::string DescribeHresult(HRESULT hr);

class Plugin {
public:
    Plugin() = default;
    ~Plugin() { Unload(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Finds and creates the plug-in for programId and gives it the site.
    // On failure returns kExitNoPlugin or kExitLoad with a message.
    int Load(const brmodel::RegistryView& registry, const std::string& programId, IOleClientSite* site,
             std::string& message);
    // Another instance of the class that found was loaded from, with a site
    // of its own: a network tool keeps one control per node, each bound to
    // its node's site for its life (kExitLoad with a message on failure).
    int LoadLike(const Plugin& found, IOleClientSite* site, std::string& message);
    void Unload();
    bool Loaded() const { return static_cast<bool>(m_object); }

    // The control's picture in rect, or false when it cannot draw.
    bool Draw(HDC dc, const RECT& rect);
    // The size the control asks for, in pixels (a default when it does not say).
    SIZE Extent(HDC dc) const;
    // Runs the Properties verb; returns when the plug-in's sheet is closed.
    HRESULT Properties(HWND parent, IOleClientSite* site);

    std::string clsid;                // "{...}"
    std::string module;               // its InprocServer32 path, for messages
    std::vector<std::string> others;  // further classes that matched

private:
    int Create(IOleClientSite* site, std::string& message);

    com_ptr<IOleObject> m_object;
};

}  // namespace brhost
