// Small whole files by wide path.
#pragma once

#include <windows.h>

#include <string>

#include "text.h"

// The whole file when it holds at most `limit` bytes; else false, with what
// is wrong in `error` (the system's words, or that it is too large).
bool AfxReadSmallFile(const std::wstring& path, std::size_t limit, std::string& bytes, std::string& error);

// Writes `bytes` so that the file is either the old one or the whole new
// one, also after a crash or power loss: into a temporary beside it, flushed
// to the disk, then renamed over it with write-through. On failure the
// temporary is removed and an existing file stays as it was.
bool AfxWriteFileDurably(const std::wstring& path, const std::string& bytes, std::string& error);
