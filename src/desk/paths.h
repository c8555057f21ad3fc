// How Brisel Settings names files in what it says.
#pragma once

#include <string>

#include "fw/text.h"

// "C:\...\Hall 7.txt" with the quotes, as UTF-8.
inline std::string Quoted(const std::wstring& path) { return "\"" + AfxUtf8FromWide(path) + "\""; }

// The last part of a path.
inline std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }
