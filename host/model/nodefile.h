// The node image on disk: a small line-based text file that a commissioning
// engineer can read and edit (the format is described in host/README.md).
// Saving writes a temporary file of its own next to the target, flushes it
// to the disk, closes it and renames it over the target, so a killed host or
// a power cut leaves either the old or the new image, whole. The file system
// is behind a small interface: the Windows host gives the real one, the
// tests one that fails where they ask.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "nodeimage.h"

namespace brmodel {

std::string FormatImage(const Image& image);

// Parses text into out. On failure returns false, leaves out unchanged and
// sets error to "line N: what is wrong" (or what is missing).
bool ParseImage(const std::string& text, Image& out, std::string& error);

// A node file is a few kilobytes; anything larger is not one.
constexpr std::size_t kMaxNodeFile = 64 * 1024;

// The file operations a save and a load need. Paths are UTF-8; every call
// that fails says why in error. At most one file is open for writing.
class Files {
public:
    virtual ~Files() = default;
    virtual bool Exists(const std::string& path) = 0;
    // At most limit + 1 bytes of the file, so a caller sees it is too large.
    virtual bool Read(const std::string& path, std::size_t limit, std::string& out, std::string& error) = 0;
    virtual bool MakeFolders(const std::string& folder, std::string& error) = 0;
    // Creates a file that must not exist yet and keeps it open for writing.
    virtual bool CreateNew(const std::string& path, std::string& error) = 0;
    virtual bool Write(const std::string& data, std::string& error) = 0;
    virtual bool Flush(std::string& error) = 0;  // to the disk, not only out of the process
    virtual bool Close(std::string& error) = 0;
    // Replaces to with from in one step, through to the disk.
    virtual bool Replace(const std::string& from, const std::string& to, std::string& error) = 0;
    virtual bool Remove(const std::string& path) = 0;
    virtual std::vector<std::string> Names(const std::string& folder) = 0;  // files in folder
    virtual std::string UniqueTag() = 0;  // differs between processes and calls
};

// The steps of a save, in order; the tests stop a save after each in turn.
enum class SaveStep { Create, Write, Flush, Close, Replace };
const char* StepName(SaveStep step);
bool ParseStep(const std::string& name, SaveStep& out);
using AfterStep = std::function<void(SaveStep)>;

// "C:\a\node.txt" -> "C:\a" and "node.txt" (either slash; no folder: "").
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
// The file of node number of a network whose node 1 keeps first: first
// itself for node 1, else the number before first's extension, beside it
// ("C:\a\node.txt", 2 -> "C:\a\node2.txt"; "C:\a.b\node", 3 -> "C:\a.b\node3").
std::string NodeFileOf(const std::string& first, int number);
// The temporary files of a save of target: "node.txt.brisel-TAG.tmp", and
// the fixed "node.txt.tmp" of earlier versions; other names, a user's own
// "node.txt.backup.tmp" among them, are not the tool's.
std::string TempFor(const std::string& target, const std::string& tag);
bool IsTempOf(const std::string& name, const std::string& targetName);

// Reads and parses a file; errors are prefixed with the path.
bool LoadNodeFile(Files& files, const std::string& path, Image& out, std::string& error);

// Writes data to path through a unique temporary file in the same folder
// (created with the folder when needed): written, flushed, closed with its
// result checked, then renamed over path. On failure path is as it was, the
// temporary is gone and error says why. after runs once each step is done.
bool WriteAtomically(Files& files, const std::string& path, const std::string& data, std::string& error,
                     const AfterStep& after = {});
bool SaveNodeFile(Files& files, const std::string& path, const Image& image, std::string& error,
               const AfterStep& after = {});

// Removes what crashed saves of target left in its folder; only safe while
// no other process saves it. Returns how many were removed.
int RemoveStaleTemps(Files& files, const std::string& target);

}  // namespace brmodel
