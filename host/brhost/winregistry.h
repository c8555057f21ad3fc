// The registry's classes root as the discovery sees it.
#pragma once

#include <windows.h>

#include "discovery.h"

namespace brhost {

class Win32Registry : public brmodel::RegistryView {
public:
    explicit Win32Registry(HKEY root = HKEY_CLASSES_ROOT) : m_root(root) {}
    std::vector<std::string> SubKeys(const std::string& path) const override;
    std::optional<std::string> DefaultValue(const std::string& path) const override;

private:
    HKEY m_root;
};

}  // namespace brhost
