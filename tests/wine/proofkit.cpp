#include "proofkit.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "node_layout.h"
#include "pages/sunblindpage.h"
#include "wtest.h"

namespace proof {

namespace {

// Wine keeps GDI objects in a table indexed by the handle's low word and
// accepts a handle without its generation in the high word, so every live
// object answers GetObjectType for one of these values.
long ProbeGdiObjects() {
    long n = 0;
    for (ULONG_PTR h = 1; h < 0x10000; ++h)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(h))) ++n;
    return n;
}

// Kernel handles are multiples of 4 handed out lowest first.
long ProbeKernelHandles() {
    long n = 0;
    DWORD flags;
    for (ULONG_PTR h = 4; h < 0x8000; h += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++n;
    return n;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM count) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(hwnd, CountChild, count);
    return TRUE;
}

long CountWindows() {
    long n = 0;
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&n));
    HWND message = nullptr;  // message-only windows are not enumerated above
    while ((message = FindWindowExA(HWND_MESSAGE, message, nullptr, nullptr))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(message, &pid);
        if (pid == GetCurrentProcessId()) ++n;
    }
    return n;
}

long long HeapBusyBytes() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    long long total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

int CheckState(HWND page, int id) { return static_cast<int>(SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0)); }

// A source code from its two boxes: local is bit 0, common bit 1; a box in
// neither state makes the code 0.
int SourceCode(int local, int common) {
    const bool known = (local == 0 || local == 1) && (common == 0 || common == 1);
    return known ? local | common << 1 : 0;
}

}  // namespace

Usage Measure() {
    Usage u;
    HANDLE self = GetCurrentProcess();
    SetLastError(0);
    u.gdi = static_cast<long>(GetGuiResources(self, GR_GDIOBJECTS));
    u.gdiFrom = "GetGuiResources";
    if (u.gdi == 0) u.gdi = ProbeGdiObjects(), u.gdiFrom = "probe";
    u.user = static_cast<long>(GetGuiResources(self, GR_USEROBJECTS));
    u.userFrom = "GetGuiResources";
    if (u.user == 0) u.user = CountWindows(), u.userFrom = "windows";
    DWORD handles = 0;
    GetProcessHandleCount(self, &handles);
    u.handles = static_cast<long>(handles);
    u.handlesFrom = "GetProcessHandleCount";
    if (u.handles == 0) u.handles = ProbeKernelHandles(), u.handlesFrom = "probe";
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
        u.privateBytes = static_cast<long long>(pmc.PrivateUsage);
        u.privateFrom = "PrivateUsage";
        if (u.privateBytes == 0) u.privateBytes = static_cast<long long>(pmc.PagefileUsage), u.privateFrom = "PagefileUsage";
    }
    u.heapBytes = HeapBusyBytes();
    return u;
}

std::string Describe(const Usage& u) {
    char text[256];
    snprintf(text, sizeof text, "gdi %ld (%s), user %ld (%s), handles %ld (%s), private %lld KiB (%s), heap %lld bytes",
             u.gdi, u.gdiFrom, u.user, u.userFrom, u.handles, u.handlesFrom, u.privateBytes / 1024, u.privateFrom,
             u.heapBytes);
    return text;
}

std::vector<int> EditableIds(int channel) {
    const SunblindControlIds& ids = SunblindIds(channel);
    std::vector<int> out{ids.topDownTime};
    for (int f = 0; f < sunblind::kFieldCount; ++f) out.push_back(ids.field[f]);
    return out;
}

void ChooseSources(HWND page, int channel, int level, int override) {
    const SunblindControlIds& ids = SunblindIds(channel);
    const std::pair<int, int> boxes[] = {{ids.levelLocal, level & 1}, {ids.levelCommon, level >> 1 & 1},
                                         {ids.overrideLocal, override & 1}, {ids.overrideCommon, override >> 1 & 1}};
    for (const auto& box : boxes) {
        SendDlgItemMessageA(page, box.first, BM_SETCHECK, box.second ? BST_UNCHECKED : BST_CHECKED, 0);
        SendDlgItemMessageA(page, box.first, BM_CLICK, 0, 0);  // toggles it to the state wanted, and tells the page
    }
}

PageState CaptureState(HWND page, int channel, bool sourcesChosen) {
    const SunblindControlIds& ids = SunblindIds(channel);
    PageState s;
    s.sourcesChosen = sourcesChosen;
    s.topDownTime = wtest::Text(page, ids.topDownTime);
    for (int f = 0; f < sunblind::kFieldCount; ++f) s.block.text[f] = wtest::Text(page, ids.field[f]);
    s.block.levelSource = SourceCode(CheckState(page, ids.levelLocal), CheckState(page, ids.levelCommon));
    s.block.overrideSource = SourceCode(CheckState(page, ids.overrideLocal), CheckState(page, ids.overrideCommon));
    s.luxCommon = CheckState(page, ids.luxCommon) == BST_CHECKED;
    return s;
}

namespace {

// The node's layout from the tests' own description (node_layout.h), so
// that a fault in the module's encoders cannot hide in its own oracle.
static_assert(sizeof layout::kFields / sizeof *layout::kFields == sunblind::kFieldCount, "one row per field");
using layout::kFlagRecord;
using layout::kLevelSourceOffset;
using layout::kOverrideSourceOffset;

// The number a text stands for, as the C library reads it in the "C"
// locale: white space, then the longest number; 0 when there is none.
double Number(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    return __mingw_strtod(p, nullptr);
}

// The integer part (toward zero) of x * factor, two's complement; 0 when
// that is not finite or does not fit 64 bits.
std::uint64_t Stored(double x, double factor) {
    const double scaled = x * factor;
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) return 0;
    return static_cast<std::uint64_t>(static_cast<long long>(scaled));
}

}  // namespace

std::vector<std::uint8_t> ExpectedWrite(int channel, long index, const simnode::Call& read, const PageState& state) {
    const layout::Channel& ch = layout::kChannels[channel - 1];
    std::vector<std::uint8_t> buf(32, 0);  // the value buffer: zero beyond what the read filled
    std::copy_n(read.bytes.begin(), std::min(read.bytes.size(), buf.size()), buf.begin());
    if (index == ch.driveTimeItem) {
        const std::uint64_t v = Stored(Number(state.topDownTime), 10.0);
        buf[0] = static_cast<std::uint8_t>(v >> 8);
        buf[1] = static_cast<std::uint8_t>(v);
        buf.resize(2);
        return buf;
    }
    if (index != kFlagRecord && index != ch.record) return {};
    if (index == kFlagRecord)
        buf[0] = static_cast<std::uint8_t>(state.luxCommon ? buf[0] | ch.luxBit : buf[0] & ~ch.luxBit);
    if (index == ch.record) {
        std::uint8_t* block = buf.data() + ch.block;
        for (int f = 0; f < sunblind::kFieldCount; ++f) {
            const layout::Field& l = layout::kFields[f];
            const std::uint64_t v = Stored(Number(state.block.text[f]), l.factor);
            if (l.bytes == 2) {
                block[l.offset] = static_cast<std::uint8_t>(v >> 8);
                block[l.offset + 1] = static_cast<std::uint8_t>(v);
            } else {
                block[l.offset] = static_cast<std::uint8_t>(v);
            }
        }
        // A code the boxes cannot show (anything but 0-3) goes back as read
        // unless the user chose the boxes.
        if (state.sourcesChosen || block[kLevelSourceOffset] <= 3)
            block[kLevelSourceOffset] = static_cast<std::uint8_t>(state.block.levelSource);
        if (state.sourcesChosen || block[kOverrideSourceOffset] <= 3)
            block[kOverrideSourceOffset] = static_cast<std::uint8_t>(state.block.overrideSource);
    }
    buf.resize(31);
    return buf;
}

int AuditWrites(const simnode::Node& node, size_t mark, int channel, const PageState& state, const char* file,
                int line) {
    int checked = 0;
    for (size_t i = mark; i < node.log.size(); ++i) {
        const simnode::Call& w = node.log[i];
        if (w.op != simnode::Call::Write) continue;
        ++checked;
        const simnode::Call* read = nullptr;
        for (size_t j = i; j-- > mark;)
            if (node.log[j].op == simnode::Call::Read && node.log[j].index == w.index) {
                read = &node.log[j];
                break;
            }
        if (!wtest::check(file, line, read && read->result == 0 && read->length == 32,
                     "ch %d: write of item %ld without a successful read before it", channel, w.index))
            continue;
        const std::vector<std::uint8_t> expected = ExpectedWrite(channel, w.index, *read, state);
        wtest::check(file, line, !expected.empty(), "ch %d: wrote item %ld, which is not the page's", channel, w.index);
        wtest::check(file, line, w.bytes == expected, "ch %d item %ld: wrote %s, expected %s (read %s)", channel, w.index,
                wtest::Hex(w.bytes).c_str(), wtest::Hex(expected).c_str(), wtest::Hex(read->bytes).c_str());
    }
    return checked;
}

Counts CountCalls(const simnode::Node& node, size_t mark) {
    Counts c;
    for (size_t i = mark; i < node.log.size(); ++i) {
        switch (node.log[i].op) {
            case simnode::Call::Read: ++c.reads; break;
            case simnode::Call::Write: ++c.writes; break;
            case simnode::Call::Name: ++c.names; break;
        }
    }
    return c;
}

Counts PrescribedRead(int channel) { return Counts{channel <= 2 ? 2 : 3, 0, 0}; }

Counts PrescribedWrite(int channel) {
    const int items = channel <= 2 ? 2 : 3;
    return Counts{items + PrescribedRead(channel).reads, items, 0};
}

Counts PrescribedTick(bool recordReadFails) { return Counts{recordReadFails ? 2 : 3, 0, 0}; }

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2.0;
}

}  // namespace proof
