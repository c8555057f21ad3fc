// Brisel Settings' run on one settings file: opened (asked for with the
// Open dialog when not given; a new name offers a file of factory
// settings), shown in the plug-in's own pages on an in-memory node, and
// written back when the user agrees on leaving.
#pragma once

#include <string>

// The exit code: 0 when the user finished (saved or not), 1 when the file
// or the module could not be opened.
int RunDesk(std::wstring path);
