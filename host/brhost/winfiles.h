// The node file on a Windows file system: wide paths, writes that reach the
// disk before the rename, and a lock that tells a second tool the file is
// in use.
#pragma once

#include <windows.h>

#include "fw/handles.h"
#include "nodefile.h"

namespace brhost {

class WinFiles : public brmodel::Files {
public:
    bool Exists(const std::string& path) override;
    bool Read(const std::string& path, std::size_t limit, std::string& out, std::string& error) override;
    bool MakeFolders(const std::string& folder, std::string& error) override;
    bool CreateNew(const std::string& path, std::string& error) override;
    bool Write(const std::string& data, std::string& error) override;
    bool Flush(std::string& error) override;
    bool Close(std::string& error) override;
    bool Replace(const std::string& from, const std::string& to, std::string& error) override;
    bool Remove(const std::string& path) override;
    std::vector<std::string> Names(const std::string& folder) override;
    std::string UniqueTag() override;

private:
    unique_file m_file;
    unsigned m_count = 0;
};

// "FILE.lock" beside the node file, open without sharing while this tool
// uses the file and deleted when it closes, also when the process dies.
class NodeLock {
public:
    // False with a plain message when another tool holds it.
    bool Acquire(const std::string& nodeFile, std::string& error);
    void Release() { m_handle.reset(); }

private:
    unique_file m_handle;
};

}  // namespace brhost
