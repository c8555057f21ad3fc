// Tools for the reliability tests and the benchmark: what the process holds
// (objects, handles, memory), an audit of every write a page sends to the
// node, and the node accesses of each page procedure.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simnode/simnode.h"
#include "sunblind_items.h"

namespace proof {

// What the process holds. Where the platform does not answer (Wine has no
// GetGuiResources and reports 0 handles and 0 private bytes), the figure is
// counted another way; the *From fields say how.
struct Usage {
    long gdi = 0;            // GDI objects
    long user = 0;           // USER objects, or the process's windows
    long handles = 0;        // kernel handles
    long long privateBytes = 0;
    long long heapBytes = 0;  // bytes in busy blocks of every heap of the process
    const char* gdiFrom = "";
    const char* userFrom = "";
    const char* handlesFrom = "";
    const char* privateFrom = "";
};
Usage Measure();
std::string Describe(const Usage& u);

// What a sunblind page's controls hold: what its Write encodes.
struct PageState {
    std::string topDownTime;
    sunblind::BlockValues block;
    bool luxCommon = false;
    // Whether the user chose the source boxes (ChooseSources): only then is
    // a code they cannot show replaced by theirs.
    bool sourcesChosen = false;
};
PageState CaptureState(HWND page, int channel, bool sourcesChosen = false);

// Sets the page's source boxes as the user does, one click on each: level
// and override codes 0-3 (local is bit 0, common bit 1).
void ChooseSources(HWND page, int channel, int level, int override);

// The bytes a Write of the page must send for item index after the read
// `read` (a logged successful read of that item): the read's bytes, zero
// beyond what the host filled, with the channel's own bytes worked out from
// the page's texts by the arithmetic written out in proofkit.cpp (not by the
// module's encoders). Empty when the page has no business writing index.
std::vector<std::uint8_t> ExpectedWrite(int channel, long index, const simnode::Call& read, const PageState& state);

// Checks every write logged from mark on: it must follow a successful read
// of the same item made with the write-read length, and carry exactly the
// bytes ExpectedWrite gives. Reports through ok() with the caller's line;
// returns the number of writes checked. AUDIT_WRITES passes the caller's place.
int AuditWrites(const simnode::Node& node, size_t mark, int channel, const PageState& state, const char* file,
                int line);

// Node calls from mark on.
struct Counts {
    int reads = 0, writes = 0, names = 0;
    bool operator==(const Counts& o) const { return reads == o.reads && writes == o.writes && names == o.names; }
};
Counts CountCalls(const simnode::Node& node, size_t mark);

// The accesses the design prescribes.
Counts PrescribedRead(int channel);                       // OnRead
Counts PrescribedWrite(int channel);                      // OnWrite, its closing OnRead included
Counts PrescribedTick(bool recordReadFails);              // RefreshLiveValues

// The edits a user can type into, by control id: Top down time, then the
// eight fields of the channel block in sunblind::Field order.
std::vector<int> EditableIds(int channel);

// Median of a sample (sorted copy).
double Median(std::vector<double> values);

}  // namespace proof

#define AUDIT_WRITES(node, mark, channel, state) proof::AuditWrites((node), (mark), (channel), (state), __FILE__, __LINE__)
