// The host keeps text as UTF-8 and speaks UTF-16 to Windows: every path,
// command-line argument and message goes through these.
#pragma once

#include <windows.h>

#include <string>

namespace brhost {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// Bytes from elsewhere (a node's name): UTF-8 when they are, else the ANSI
// code page.
std::wstring Display(const std::string& bytes);
// The system's words for an error code, without the trailing full stop.
std::string SystemMessage(DWORD code);

}  // namespace brhost
