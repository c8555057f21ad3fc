// The configuration sheet's caption, the system's own word for it. The
// control opens the sheet with it; the network tool's walk-through and the
// tests find the sheet by it.
#pragma once

constexpr char kSheetCaption[] = "Sarp";
