// Checks and small helpers for the text of settings files: UTF-8, control
// characters, case-blind keys, quoting a file's text in a message. No Win32.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sunblind {

bool IsDigit(char c);
bool EqualNoCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view t);  // spaces and tabs at both ends

// Length of the valid UTF-8 sequence at t[i], 0 when there is none
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
std::size_t Utf8Length(std::string_view t, std::size_t i);

// A file's text quoted in a message: at most 40 bytes, cut between characters.
std::string Quoted(std::string_view t);

// Free text for a file line: each control character (U+0000-U+001F, U+007F)
// replaced by a space, each byte that is not part of valid UTF-8 by U+FFFD,
// cut at a character boundary to at most maxBytes.
std::string CleanText(std::string_view t, std::size_t maxBytes);

// Without a byte-order mark: NUL bytes, all on even or all on odd offsets,
// as the ASCII text of a UTF-16 file has them.
bool LooksLikeUtf16(std::string_view t);

// Why a line (without its end) cannot be read as text, or empty.
std::string LineProblem(std::string_view line, std::size_t maxBytes);

}  // namespace sunblind
