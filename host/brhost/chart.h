// The main window's trend chart: one panel per channel with the lux that
// drives it, its down and up setpoints and, on its own axis, the blind's
// level, over the history's span. Drawn with GDI into whatever DC it gets
// (the window draws into a memory bitmap first, so nothing flickers).
#pragma once

#include <windows.h>

#include <string>

#include "history.h"

namespace brhost {

// Owns a GDI object (pen, brush, bitmap, font).
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) : m_object(object) {}
    ~GdiObject() {
        if (m_object) DeleteObject(m_object);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ get() const { return m_object; }

private:
    HGDIOBJ m_object;
};

// Selects an object into a DC for a scope.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(m_dc, m_old); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A bitmap of the given size to draw into, compatible with dc.
class MemoryCanvas {
public:
    MemoryCanvas(HDC dc, int width, int height);
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    HDC dc() const { return m_dc; }
    bool ready() const { return m_dc && m_bitmap.get(); }

private:
    HDC m_dc;
    GdiObject m_bitmap;
    HGDIOBJ m_old = nullptr;
};

// titles[n - 1] heads channel n's panel.
void DrawTrends(HDC dc, const RECT& area, const brmodel::History& history, const std::wstring titles[4]);

}  // namespace brhost
