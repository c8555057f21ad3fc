// Finding the plug-in for a node the way a network tool does: among the
// registered classes (CLSID\{...}), the one whose Node\ProgramID key holds
// the node application's program ID as its default value.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brmodel {

// The program ID of the sunblind controller's node application.
extern const char kProgramId[];

// A read-only view of the classes root. Paths are relative to it and use
// backslashes, e.g. "CLSID\\{...}\\Node\\ProgramID".
class RegistryView {
public:
    virtual ~RegistryView() = default;
    // Names of the key's direct sub-keys; empty when the key is missing.
    virtual std::vector<std::string> SubKeys(const std::string& path) const = 0;
    // The key's default value when it exists and is a string.
    virtual std::optional<std::string> DefaultValue(const std::string& path) const = 0;
};

// Program IDs compare as eight two-digit hex numbers: case and the amount
// of white space between them do not matter. Anything else never matches.
bool SameProgramId(const std::string& a, const std::string& b);

// True for "{8-4-4-4-12}" with hex digits.
bool IsClsidText(const std::string& key);

// The class keys (as "{...}") whose Node\ProgramID matches programId, in
// the order the view lists them. Keys that are not class IDs, and classes
// without a Node key, a ProgramID sub-key or a string value, are skipped.
std::vector<std::string> FindPlugins(const RegistryView& view, const std::string& programId);

}  // namespace brmodel
