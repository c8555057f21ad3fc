// CNodeProgress: what Save, Load and Copy are doing while their node calls
// run, and the sheet kept alive between those calls. A host's node call may
// take a long time on a routed field bus, and it blocks this thread; between
// calls the window answers what arrived (painting, messages other threads
// send, the Stop button), so the sheet never looks hung.
//
// For its lifetime the sheet takes no input (it is disabled: only Stop and
// Esc do anything) and the pages' live-value timers make no node call. The
// window shows once the operation has run kShowAfterMs, so that a quick one
// does not flash it.
#pragma once

#include <functional>
#include <string>

#include "fw/ctrls.h"
#include "fw/dialog.h"
#include "fw/handles.h"
#include "node_transfer.h"

class CNodeProgress final : public CDialog, private sunblind::ItemAccess, public sunblind::TransferSteps {
public:
    static constexpr DWORD kShowAfterMs = 250;
    static constexpr DWORD kPumpMs = 50;

    // sheet: the window whose node is called and that owns this one.
    CNodeProgress(CWnd* sheet, const std::string& caption);
    ~CNodeProgress() override;
    CNodeProgress(const CNodeProgress&) = delete;
    CNodeProgress& operator=(const CNodeProgress&) = delete;

    // The sheet's node, each call counted and followed by the pump.
    sunblind::NodeItems Node() { return sunblind::NodeItems(this); }
    bool Stopped() const { return m_stop; }

    void Step(const std::string& what, int expectedCalls) override;
    bool StopAsked() override;
    // Called with what the channels to be written hold, before the first
    // write (the backup is made there).
    std::function<void(const sunblind::NodeChannels&)> replacing;
    void ReplacingChannels(const sunblind::NodeChannels& before) override {
        if (replacing) replacing(before);
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    bool Read(long index, BYTE_T* buffer, long length) override;
    bool Write(long index, BYTE_T* buffer, long length) override;
    bool Name(char* buffer, long length) override;

    // Counts a call made, shows the count, and answers what is waiting.
    bool Counted(bool result);
    void ShowCount();
    void Pump();

    CWnd* m_sheet;
    std::string m_caption;
    bool m_sheetWasEnabled = false;
    bool m_stop = false;
    bool m_shown = false;
    DWORD m_start;
    int m_done = 0, m_expected = 0;
    CProgressCtrl m_bar;
    CWaitCursor m_wait;  // over the disabled sheet
};
