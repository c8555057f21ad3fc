// The host keeps text as UTF-8 and speaks UTF-16 to Windows: every path,
// command-line argument and message goes through these, the class layer's
// conversions under the host's names.
#pragma once

#include "fw/text.h"

namespace brhost {

inline std::wstring Wide(const std::string& utf8) { return AfxWideFromUtf8(utf8); }
inline std::string Utf8(const std::wstring& wide) { return AfxUtf8FromWide(wide); }
// Bytes from elsewhere (a node's name): UTF-8 when they are, else the ANSI
// code page.
inline std::wstring Display(const std::string& bytes) { return AfxWideFromBytes(bytes); }
// The system's words for an error code, without the trailing full stop;
// empty when it has none.
inline std::string SystemMessage(DWORD code) { return AfxSystemWords(code); }

}  // namespace brhost
