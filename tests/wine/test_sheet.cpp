// The configuration sheet and its node-information tab, driven through real
// window messages on a simulated node.
#include <cstring>

#include "res/resource.h"
#include "sheetdriver.h"
#include "wtest.h"
#include "sheet/caption.h"

using driver::Rig;

static void test_first_tab_and_buttons() {
    Rig rig;
    if (!ok(rig.Open(), "sheet did not open")) return;
    ok(wtest::Text(rig.Sheet()) == "Sarp", "caption %s", wtest::Text(rig.Sheet()).c_str());
    ok(rig.TabText(0) == "Node infomation", "first tab %s", rig.TabText(0).c_str());
    ok(SendMessageA(rig.Tab(), TCM_GETCURSEL, 0, 0) == 0, "first tab not selected");
    ok(rig.CurrentPage() == rig.Page(0), "first page not current");

    HWND exitButton = GetDlgItem(rig.Sheet(), IDOK);
    ok(wtest::Text(exitButton) == "Exit", "OK button reads %s", wtest::Text(exitButton).c_str());
    ok(IsWindowVisible(exitButton), "Exit hidden");
    for (int id : {IDCANCEL, IDC_SHEET_APPLY}) {
        HWND button = GetDlgItem(rig.Sheet(), id);
        ok(button != nullptr, "button %d missing", id);
        ok(!IsWindowVisible(button), "button %d visible", id);
    }
    ok(rig.watch.boxes.empty(), "%u boxes", (unsigned)rig.watch.boxes.size());
}

// Which interfaces the site gives decides the one warning; either way every
// reference obtained is released once, the writer first.
static void test_interfaces_and_warning() {
    struct Row {
        bool reader, writer, nullOnSuccess, site, control;
        size_t boxes;
        const char* releases;
    } rows[] = {
        {true, true, false, true, true, 0, "WR"},
        {true, false, false, true, true, 0, "R"},
        {false, true, false, true, true, 0, "W"},
        {false, false, false, true, true, 1, ""},
        {true, true, true, true, true, 1, ""},    // S_OK with a null pointer
        {true, true, false, false, true, 1, ""},  // no client site
        {true, true, false, true, false, 1, ""},  // no current control
    };
    int i = 0;
    for (const Row& row : rows) {
        Rig rig;
        rig.site.offerReader = row.reader;
        rig.site.offerWriter = row.writer;
        rig.site.nullOnSuccess = row.nullOnSuccess;
        if (!row.site) rig.ctrl.SetClientSite(nullptr);
        const long siteRefs = rig.site.siteRefs();
        if (!row.control) {
            rig.sheet.reset();
            g_pCurrentControl = nullptr;
            rig.sheet.reset(new CSheet(kSheetCaption, nullptr, 0));
            ok(rig.sheet->Create(), "%d: no sheet", i);
            wtest::pump(50);
        } else {
            ok(rig.Open(), "%d: no sheet", i);
        }
        wtest::pump_until([&] { return rig.watch.boxes.size() >= row.boxes; }, 20000);
        wtest::pump(100);
        ok(rig.watch.boxes.size() == row.boxes, "%d: %u boxes", i, (unsigned)rig.watch.boxes.size());
        if (!rig.watch.boxes.empty()) {
            ok(rig.watch.boxes[0].caption == "Plugin" && rig.watch.boxes[0].text == "Node not available!",
               "%d: box %s / %s", i, rig.watch.boxes[0].caption.c_str(), rig.watch.boxes[0].text.c_str());
        }
        ok(IsWindow(rig.Sheet()), "%d: sheet closed after the warning", i);
        rig.Close();
        ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0, "%d: refs left reader %ld writer %ld", i,
           rig.site.readerRefs(), rig.site.writerRefs());
        ok(rig.site.releases == row.releases, "%d: releases %s", i, rig.site.releases.c_str());
        ok(rig.site.siteRefs() == siteRefs, "%d: site refs %ld, were %ld", i, rig.site.siteRefs(), siteRefs);
        ok(rig.node.log.size() <= 1, "%d: %u node calls", i, (unsigned)rig.node.log.size());
        for (const auto& call : rig.node.log) ok(call.op == simnode::Call::Name, "%d: node op %d", i, call.op);
        ++i;
    }
}

// What the name edit shows for the bytes the host returns.
static void test_node_name_bytes() {
    std::string fifty(50, 'N');
    for (int k = 0; k < 50; ++k) fifty[k] = static_cast<char>('A' + k % 26);
    struct Row {
        std::string bytes;
        bool fail;
        std::string shown;
    } rows[] = {
        {"Sunblind controller 7", false, "Sunblind controller 7"},
        {fifty, false, fifty},                                   // no terminator: all 50
        {std::string("AB\0junk after", 13), false, "AB"},        // nothing after the first zero
        {"", false, ""},
        {"Node", true, ""},                                      // failed read: edit stays empty
    };
    int i = 0;
    for (const Row& row : rows) {
        Rig rig;
        rig.node.name.assign(row.bytes.begin(), row.bytes.end());
        rig.node.failName = row.fail;
        if (!ok(rig.Open(), "%d: no sheet", i)) continue;
        const std::string shown = rig.Text(rig.Page(0), IDC_NODENAME);
        ok(shown == row.shown, "%d: shows '%s'", i, shown.c_str());
        ok(rig.node.log.size() == 1 && rig.node.log[0].length == 50, "%d: %u calls", i, (unsigned)rig.node.log.size());
        ++i;
    }
}

// Every showing reads the name anew; a failed read keeps what was shown.
static void test_name_on_each_showing() {
    Rig rig;
    if (!ok(rig.Open(), "no sheet")) return;
    HWND page = rig.Page(0);
    ok(rig.Text(page, IDC_NODENAME) == "Sunblind controller 7", "first name");

    rig.node.SetName("Renamed node");
    ShowWindow(page, SW_HIDE);
    ok(rig.node.log.size() == 1, "hiding read the name");
    ShowWindow(page, SW_SHOW);
    ok(rig.Text(page, IDC_NODENAME) == "Renamed node", "after re-show: %s", rig.Text(page, IDC_NODENAME).c_str());

    rig.node.failName = true;
    ShowWindow(page, SW_HIDE);
    ShowWindow(page, SW_SHOW);
    ok(rig.Text(page, IDC_NODENAME) == "Renamed node", "failed read changed the name");
    ok(rig.node.log.size() == 3, "%u name reads", (unsigned)rig.node.log.size());

    const LONG style = GetWindowLongA(GetDlgItem(page, IDC_NODENAME), GWL_STYLE);
    ok((style & ES_READONLY) && (style & ES_AUTOHSCROLL) && !(style & WS_BORDER), "name edit style %08lx", style);
}

// A reader that fails every call: the sheet opens, nothing is written.
static void test_reader_failing_everything() {
    Rig rig;
    rig.node.failAll = true;
    rig.node.failFill = simnode::FailFill::Scribble;
    if (!ok(rig.Open(), "no sheet")) return;
    ok(rig.Text(rig.Page(0), IDC_NODENAME).empty(), "name shown from a failed read");
    // The page did ask (and was refused), and nothing was written.
    int names = 0, writes = 0;
    for (const auto& call : rig.node.log) {
        names += call.op == simnode::Call::Name;
        writes += call.op == simnode::Call::Write;
    }
    ok(names >= 1 && writes == 0, "%d name reads, %d writes", names, writes);
    ok(rig.watch.boxes.empty(), "warned although both interfaces exist");
}

// The verb runs the sheet modally and returns TRUE once "Exit" is pressed.
static void test_properties_verb_modal() {
    Rig rig;
    HWND modalSheet = nullptr;
    wtest::Closer closer(kSheetCaption, PSM_PRESSBUTTON, PSBTN_OK);
    closer.onFound = [&](HWND sheet) { modalSheet = sheet; };
    const BOOL result = rig.ctrl.OnProperties(nullptr, nullptr, nullptr);
    ok(result == TRUE, "OnProperties returned %d", result);
    ok(modalSheet != nullptr && !IsWindow(modalSheet), "modal sheet not seen or still there");
    ok(g_pCurrentControl == &rig.ctrl, "current control not set");
    ok(rig.site.readerRefs() == 0 && rig.site.writerRefs() == 0, "refs left after the verb");
    ok(rig.site.releases == "WR", "releases %s", rig.site.releases.c_str());
}

WTEST_MAIN(WTEST(test_first_tab_and_buttons), WTEST(test_interfaces_and_warning), WTEST(test_node_name_bytes),
           WTEST(test_name_on_each_showing), WTEST(test_reader_failing_everything),
           WTEST(test_properties_verb_modal))
