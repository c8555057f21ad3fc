// The UTF-8 / UTF-16 conversions of the module and the stand-in tool (their
// own texts are UTF-8; Windows speaks UTF-16), one set for both. A text that
// cannot be converted gives an empty one.
#pragma once

#include <windows.h>

#include <string>

std::wstring AfxWideFromUtf8(const std::string& utf8);
std::string AfxUtf8FromWide(const std::wstring& wide);
// Bytes from elsewhere (a node's name): UTF-8 when they are, else the ANSI
// code page.
std::wstring AfxWideFromBytes(const std::string& bytes);
// A path as messages name it: "C:\...\Hall 7.txt" with the quotes, UTF-8.
std::string AfxQuotedPath(const std::wstring& path);
// The last part of a path.
std::wstring AfxFileName(const std::wstring& path);
// The system's words for an error code, without the line end and full stop:
// empty when it has none (AfxSystemWords), "error N" then (AfxSystemMessage).
std::string AfxSystemWords(DWORD code);
std::string AfxSystemMessage(DWORD code);
