// The host tool's node-access interfaces, answered by the control's client
// site. Only ReadItem (entry 7) and GetNodeName (entry 9) of INodeReader and
// WriteItem (entry 8) of INodeWriter are called; the entries between are the
// host's own and are declared only to keep the called ones at their places
// in the method table. Every call returns 0 for success.
#pragma once

#include <objbase.h>

#include <string>

// {C9C04CC1-23F0-11D3-BC97-00A0C9E5F504}
extern "C" const IID IID_INodeReader;
// {099B79E0-BA3D-11D0-AD92-006097174407}
extern "C" const IID IID_INodeWriter;

// The host's calls take and return 32-bit values in 32-bit and 64-bit
// processes alike (long stays 32 bits on 64-bit Windows).
static_assert(sizeof(long) == 4, "node calls take and return 32-bit values");

struct INodeReader : public IUnknown {
    virtual long STDMETHODCALLTYPE Reserved3() = 0;
    virtual long STDMETHODCALLTYPE Reserved4() = 0;
    virtual long STDMETHODCALLTYPE Reserved5() = 0;
    virtual long STDMETHODCALLTYPE Reserved6() = 0;
    // Fills buffer with the item's bytes, at most length of them.
    virtual long STDMETHODCALLTYPE ReadItem(long index, unsigned char* buffer, long length) = 0;
    virtual long STDMETHODCALLTYPE Reserved8() = 0;
    // Single-byte name, zero-terminated when shorter than length.
    virtual long STDMETHODCALLTYPE GetNodeName(char* buffer, long length) = 0;
};

struct INodeWriter : public IUnknown {
    virtual long STDMETHODCALLTYPE Reserved3() = 0;
    virtual long STDMETHODCALLTYPE Reserved4() = 0;
    virtual long STDMETHODCALLTYPE Reserved5() = 0;
    virtual long STDMETHODCALLTYPE Reserved6() = 0;
    virtual long STDMETHODCALLTYPE Reserved7() = 0;
    // Writes the first length bytes of buffer to the item.
    virtual long STDMETHODCALLTYPE WriteItem(long index, unsigned char* buffer, long length) = 0;
};

// The product's own: answered only by the client site of Brisel Settings,
// whose node is a settings file held in memory. The history of changes to
// it is then the file's, not that of a network node of the same name.
// {85FC6655-11CB-4807-A720-89E299074A54}
extern "C" const IID IID_IBriselDeskNode;

struct IBriselDeskNode : public IUnknown {
    // The settings file's full path, zero-terminated; 0 for success.
    virtual long STDMETHODCALLTYPE GetFilePath(wchar_t* buffer, long length) = 0;
};

namespace sunblind {
class ItemAccess;
}

// What the window that holds the pages offers them: the node, reached
// through the host's interfaces that it obtained (each call fails when the
// interface it needs was not obtained). Pages ask their parent for it at
// every access and never keep it.
class INodeSource {
public:
    virtual sunblind::ItemAccess* Node() = 0;
    // Set while an operation of the node-information page runs its node
    // calls and answers messages between them: the pages then make no node
    // call of their own (the live-value timers skip their ticks).
    virtual void SetOperationRunning(bool running) = 0;
    virtual bool OperationRunning() const = 0;
    // The name the node gave at the last successful name call (the
    // node-information tab asks as the sheet opens); no call is made.
    virtual std::string KnownNodeName() const = 0;
    // The settings file the node is held from (Brisel Settings), or empty
    // for a node of the network.
    virtual std::wstring SettingsFilePath() const = 0;
    // Why the history of the last change could not be written, or empty.
    // Kept by the sheet: a thread_local string in the module would keep it
    // loaded until its thread ends (the C++ runtime holds a reference to a
    // module with thread-exit destructors pending).
    virtual void SetHistoryProblem(const std::string& problem) = 0;
    virtual std::string HistoryProblem() const = 0;

protected:
    ~INodeSource() = default;
};

class CWnd;
// The node that a page's parent window (the sheet) offers; null when the
// parent offers none.
sunblind::ItemAccess* NodeOf(CWnd* parent);
// The parent's operation flag (INodeSource); false, and not set, when the
// parent offers none.
bool OperationRunning(CWnd* parent);
void SetOperationRunning(CWnd* parent, bool running);
std::string KnownNodeName(CWnd* parent);
std::wstring SettingsFilePath(CWnd* parent);
std::string HistoryProblem(CWnd* parent);
void SetHistoryProblem(CWnd* parent, const std::string& problem);
