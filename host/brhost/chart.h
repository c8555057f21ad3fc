// The main window's trend chart: one panel per channel with the lux that
// drives it, its down and up setpoints and, on its own axis, the blind's
// level, over the history's span. Drawn with GDI into whatever DC it gets
// (the window draws into a memory bitmap first, so nothing flickers).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "fw/handles.h"
#include "history.h"

namespace brhost {

// A bitmap of the given size to draw into, compatible with dc.
class MemoryCanvas {
public:
    MemoryCanvas(HDC dc, int width, int height);
    HDC dc() const { return m_dc.get(); }
    bool ready() const { return m_dc && m_bitmap; }

private:
    // Released in this order: the bitmap selected out, the DC, the bitmap.
    unique_hbitmap m_bitmap;
    unique_hdc m_dc;
    std::optional<unique_select_object> m_selected;
};

// titles[n - 1] heads channel n's panel.
void DrawTrends(HDC dc, const RECT& area, const brmodel::History& history, const std::wstring titles[4]);

}  // namespace brhost
