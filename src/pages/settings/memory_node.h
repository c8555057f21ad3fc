// Settings prepared at the desk, without a node: a node held in memory with
// the items a settings file's channels live in, and the controller's
// factory settings that complete a file lacking channels. Brisel Settings
// gives the plug-in's pages such a node. No Win32 here.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "node_transfer.h"
#include "settings_file.h"

namespace sunblind {

// A channel as the controller leaves the factory: down 10000 lux, up
// 5000 lux, 5 s before each, push times 0.3 s and 1.0 s, 30 s drive, top
// level 100 %, bottom level 0 %, its own lux sensor, level Local, override
// level Common.
ChannelSettings FactorySettings();

// A settings file as opened for editing: every channel it lacks is
// completed from factory settings and named in `completed`.
struct DeskDocument {
    SettingsFile file;
    std::vector<int> completed;
};
DeskDocument CompleteFromFactory(const SettingsFile& file);
// A new file of factory settings for the named node.
SettingsFile FactoryFile(const std::string& nodeName);

// The node: records 21 and 22 and the four drive time items, 32 bytes
// each, zero where no channel's setting lives. Reading any other item (the
// live values) fails, as does an item or length out of range. The name is
// given as the host gives names: single-byte.
class MemoryNode : public ItemAccess {
public:
    MemoryNode(std::string name, const NodeChannels& channels);  // a channel not given: factory settings

    bool Read(long index, BYTE_T* buffer, long length) override;
    bool Write(long index, BYTE_T* buffer, long length) override;
    bool Name(char* buffer, long length) override;

    NodeChannels Channels() const;  // all four, as held now

private:
    std::string m_name;
    std::map<long, ValueBuffer> m_items;
};

}  // namespace sunblind
