// What a channel's settings mean to a reader: each stored value as text in
// the page's units (the settings file's values and the list of changes show
// the same), the strict reading of such a text, and the differences between
// two channels. No Win32 here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "channel_schema.h"

namespace sunblind {

// A stored value as text: numbers as the page shows them, the lux source as
// "Local" or "Common", a source code by its name ("None", "Local", "Common",
// "Local and Common") or, for a code the check boxes cannot show, its number.
std::string SettingText(const Setting& d, int stored);

// Reads text (trimmed) as a stored value, exactly: a number must lie in the
// field's range and be a whole number of its steps (no exponent, hex, inf or
// nan: a file is not typing); names in any case. False with `error`, a
// sentence naming the setting, the rule and the text, when it is not.
bool ParseSettingText(const Setting& d, std::string_view text, int& stored, std::string& error);

// One setting whose stored value differs.
struct Difference {
    const Setting* setting;
    int now, after;  // stored values
};

// In kSettings order; empty when the channel would not change.
std::vector<Difference> ChannelDifferences(const ChannelSettings& now, const ChannelSettings& after);

}  // namespace sunblind
