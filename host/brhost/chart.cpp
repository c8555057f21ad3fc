#include "chart.h"

#include <algorithm>
#include <vector>

namespace brhost {

namespace {

const COLORREF kLux = RGB(230, 130, 0), kDown = RGB(200, 30, 30), kUp = RGB(30, 80, 210), kLevel = RGB(20, 150, 60);
const COLORREF kGrid = RGB(222, 222, 222), kText = RGB(40, 40, 40);

void Text(HDC dc, int x, int y, const std::wstring& text, UINT align = TA_LEFT | TA_TOP) {
    SetTextAlign(dc, align);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

std::wstring Ascii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Polyline(HDC dc, const std::vector<brmodel::Point>& line, COLORREF colour, int width, int style = PS_SOLID) {
    if (line.size() < 2) return;
    unique_hpen pen(CreatePen(style, width, colour));
    unique_select_object use(dc, pen.get());
    std::vector<POINT> points;
    points.reserve(line.size());
    for (const brmodel::Point& p : line) points.push_back({p.x, p.y});
    ::Polyline(dc, points.data(), static_cast<int>(points.size()));
}

void HLine(HDC dc, int x0, int x1, int y) {
    MoveToEx(dc, x0, y, nullptr);
    LineTo(dc, x1, y);
}

void Panel(HDC dc, const RECT& r, int textHeight, const brmodel::History& history, int n, const std::wstring& title) {
    SetTextColor(dc, kText);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    RECT line = {r.left, r.top, r.right, r.top + textHeight + 2};
    DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &line,
              DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX | DT_LEFT | DT_TOP);
    brmodel::Plot plot;
    plot.left = r.left + 5 * textHeight / 2 + 4;
    plot.right = r.right - 3 * textHeight;
    plot.top = r.top + textHeight + 6;
    plot.bottom = r.bottom - textHeight - 4;
    if (plot.right - plot.left < 40 || plot.bottom - plot.top < 30) return;  // too small to say anything
    plot.now = history.Now();
    plot.span = history.Span();
    const auto& samples = history.Of(n);
    double highest = 0;
    for (const brmodel::Sample& s : samples)
        if (s.t >= plot.now - plot.span) highest = std::max({highest, s.lux, s.down, s.up});
    // Some room above the highest value, so a setpoint at it stays off the frame.
    const brmodel::Axis axis = brmodel::LuxAxis(highest * 1.08);
    plot.luxMax = axis.max;

    RECT inside = {plot.left, plot.top, plot.right + 1, plot.bottom + 1};
    FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    {
        unique_hpen grid(CreatePen(PS_SOLID, 1, kGrid));
        unique_select_object use(dc, grid.get());
        for (double lux = 0; lux <= axis.max * (1 + 1e-9); lux += axis.step) {
            const int y = plot.LuxY(lux);
            HLine(dc, plot.left, plot.right, y);
            Text(dc, plot.left - 4, y - textHeight / 2, Ascii(brmodel::LuxLabel(lux)), TA_RIGHT | TA_TOP);
        }
        for (int level = 0; level <= 100; level += 25)
            Text(dc, plot.right + 4, plot.LevelY(level) - textHeight / 2, std::to_wstring(level) + L" %");
        for (const brmodel::Mark& m : brmodel::TimeMarks(plot.span)) {
            const int x = plot.X(plot.now - m.ago);
            MoveToEx(dc, x, plot.top, nullptr);
            LineTo(dc, x, plot.bottom);
            Text(dc, x, plot.bottom + 2, Ascii(m.label), TA_CENTER | TA_TOP);
        }
    }
    Polyline(dc, brmodel::Line(plot, samples, &brmodel::Sample::down, false), kDown, 1, PS_DASH);
    Polyline(dc, brmodel::Line(plot, samples, &brmodel::Sample::up, false), kUp, 1, PS_DASH);
    Polyline(dc, brmodel::Line(plot, samples, &brmodel::Sample::lux, false), kLux, 2);
    Polyline(dc, brmodel::Line(plot, samples, &brmodel::Sample::level, true), kLevel, 2);
    FrameRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
}

void Legend(HDC dc, int x, int y, int textHeight) {
    const struct {
        COLORREF colour;
        int width, style;
        const wchar_t* text;
    } keys[] = {{kLux, 2, PS_SOLID, L"lux (left axis)"},
                {kDown, 1, PS_DASH, L"down setpoint"},
                {kUp, 1, PS_DASH, L"up setpoint"},
                {kLevel, 2, PS_SOLID, L"blind level (right axis)"}};
    SetTextColor(dc, kText);
    for (const auto& k : keys) {
        const int mid = y + textHeight / 2;
        Polyline(dc, {{x, mid}, {x + 24, mid}}, k.colour, k.width, k.style);
        Text(dc, x + 30, y, k.text);
        SIZE size = {};
        GetTextExtentPoint32W(dc, k.text, static_cast<int>(wcslen(k.text)), &size);
        x += 30 + size.cx + 20;
    }
}

}  // namespace

MemoryCanvas::MemoryCanvas(HDC dc, int width, int height)
    : m_bitmap(CreateCompatibleBitmap(dc, std::max(width, 1), std::max(height, 1))), m_dc(CreateCompatibleDC(dc)) {
    if (ready()) m_selected.emplace(m_dc.get(), m_bitmap.get());
}

void DrawTrends(HDC dc, const RECT& area, const brmodel::History& history, const std::wstring titles[4]) {
    const int saved = SaveDC(dc);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    const int th = std::max(8, static_cast<int>(metrics.tmHeight));
    Legend(dc, area.left, area.top, th);
    const int top = area.top + th + 8, gap = 10;
    const int w = (area.right - area.left - gap) / 2, h = (area.bottom - top - gap) / 2;
    if (w > 0 && h > 0) {
        for (int n = 1; n <= 4; ++n) {
            const int col = (n - 1) % 2, row = (n - 1) / 2;
            const RECT r = {area.left + col * (w + gap), top + row * (h + gap), area.left + col * (w + gap) + w,
                            top + row * (h + gap) + h};
            Panel(dc, r, th, history, n, titles[n - 1]);
        }
    }
    RestoreDC(dc, saved);
}

}  // namespace brhost
