// Small whole files by wide path, and the UTF-8 / UTF-16 conversions the
// module's texts need (its own texts are UTF-8; Windows speaks UTF-16).
#pragma once

#include <windows.h>

#include <string>

std::wstring AfxWideFromUtf8(const std::string& utf8);
std::string AfxUtf8FromWide(const std::wstring& wide);
// Bytes from elsewhere (a node's name): UTF-8 when they are, else the ANSI
// code page.
std::wstring AfxWideFromBytes(const std::string& bytes);
// The system's words for an error code, without the line end.
std::string AfxSystemMessage(DWORD code);

// The whole file when it holds at most `limit` bytes; else false, with what
// is wrong in `error` (the system's words, or that it is too large).
bool AfxReadSmallFile(const std::wstring& path, std::size_t limit, std::string& bytes, std::string& error);

// Writes `bytes` so that the file is either the old one or the whole new
// one, also after a crash or power loss: into a temporary beside it, flushed
// to the disk, then renamed over it with write-through. On failure the
// temporary is removed and an existing file stays as it was.
bool AfxWriteFileDurably(const std::wstring& path, const std::string& bytes, std::string& error);
