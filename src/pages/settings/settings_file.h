// Settings files: a node's page-owned settings as UTF-8 text an engineer can
// read and edit, and the strict reading of such a file back into bytes. This
// is the file's grammar; what each value means is setting_values.h's, the
// text checks text_checks.h's. No Win32 here.
//
// The file (lines end in CR LF; LF alone is read too):
//   Brisel settings, format 1
//   # comment lines
//   Node name = <text>
//   Saved = <text>
//
//   [Sunblind N]            one section per channel held, N = 1..4
//   <key> = <value>         the twelve settings, in the units the page shows
//   ...
//   End of settings
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "channel_schema.h"

namespace sunblind {

constexpr int kSettingsFormat = 1;
constexpr std::size_t kMaxSettingsFileBytes = 65536;
constexpr std::size_t kMaxSettingsLineBytes = 1024;  // without the line end
// Node name and saved text are written at most this long (cut at a
// character boundary), so their lines stay far below the line limit.
constexpr std::size_t kMaxSettingsTextBytes = 512;

struct SettingsFile {
    std::string nodeName;  // for the engineer; loading does not write it
    std::string saved;     // the time saved, as text
    std::array<std::optional<ChannelSettings>, 4> channels;  // index channel - 1
};

// The whole file text. The node name and saved text are written with each
// control character (U+0000-U+001F, U+007F: line breaks, tabs ...) replaced
// by a space, each byte that is not part of valid UTF-8 by U+FFFD, and cut
// to kMaxSettingsTextBytes; a reader trims spaces around them. A file
// without channels is written but refused when read.
std::string FormatSettingsFile(const SettingsFile& file);

struct SettingsFileError {
    int line = 0;         // 1-based; 0 when the problem is not about one line
    std::string message;  // plain English, a sentence naming the problem
};

struct ParsedSettingsFile {
    std::optional<SettingsFile> file;  // set when the whole file is valid
    SettingsFileError error;           // else why it is refused
};

// Validates the whole file before returning anything; never throws for bad
// input (only std::bad_alloc).
ParsedSettingsFile ParseSettingsFile(const std::string& bytes);

// "Line 12: <message>", or the message alone for line 0.
std::string SettingsErrorText(const SettingsFileError& error);

}  // namespace sunblind
