#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "nodefile.h"

using namespace brmodel;

namespace {

// A file system in memory that keeps only what was flushed, as a disk does
// across a power cut, and fails the operation a test names.
class FakeFiles : public Files {
public:
    std::map<std::string, std::string> disk;  // durable content by path
    std::map<std::string, std::string> cache; // written, not yet flushed
    std::optional<SaveStep> failing;          // the operation that fails
    std::string open;                         // path of the file open for writing
    int tags = 0;

    bool Exists(const std::string& path) override { return disk.count(path) > 0; }
    bool Read(const std::string& path, std::size_t limit, std::string& out, std::string& error) override {
        if (!disk.count(path)) return error = "no such file", false;
        out = disk[path].substr(0, limit + 1);
        return true;
    }
    bool MakeFolders(const std::string&, std::string&) override { return true; }
    bool CreateNew(const std::string& path, std::string& error) override {
        if (disk.count(path)) return error = "exists", false;
        if (Fails(SaveStep::Create, error)) return false;
        disk[path] = "";
        open = path;
        return true;
    }
    bool Write(const std::string& data, std::string& error) override {
        if (Fails(SaveStep::Write, error)) return false;
        cache[open] += data;
        return true;
    }
    bool Flush(std::string& error) override {
        if (Fails(SaveStep::Flush, error)) return false;
        disk[open] = cache[open];
        return true;
    }
    bool Close(std::string& error) override {
        cache.erase(open);
        open.clear();
        return !Fails(SaveStep::Close, error);
    }
    bool Replace(const std::string& from, const std::string& to, std::string& error) override {
        if (Fails(SaveStep::Replace, error)) return false;
        disk[to] = disk[from];
        disk.erase(from);
        return true;
    }
    bool Remove(const std::string& path) override { return disk.erase(path) > 0; }
    std::vector<std::string> Names(const std::string& folder) override {
        std::vector<std::string> names;
        for (const auto& [path, text] : disk)
            if (FolderOf(path) == folder) names.push_back(NameOf(path));
        return names;
    }
    std::string UniqueTag() override { return "t" + std::to_string(++tags); }

private:
    bool Fails(SaveStep step, std::string& error) {
        if (failing != step) return false;
        error = std::string("injected ") + StepName(step) + " failure";
        return true;
    }
};

constexpr SaveStep kSteps[] = {SaveStep::Create, SaveStep::Write, SaveStep::Flush, SaveStep::Close,
                               SaveStep::Replace};
const std::string kFile = "C:/users/J\xC3\xBCrgen/node.txt";

// A valid file with one line replaced (or appended when the marker is absent).
std::string Edited(const std::string& from, const std::string& to) {
    std::string text = FormatImage(DefaultImage());
    auto at = text.find("\n" + from);
    if (at == std::string::npos) return text + to;
    ++at;
    return text.replace(at, text.find('\n', at) - at, to);
}

}  // namespace

TEST(NodeFile, RoundTripKeepsEveryByteAndTheName) {
    Image image = DefaultImage();
    image.name = "East wing, level 2: blinds #1-4";
    for (long index : AllItems())
        for (std::size_t i = 0; i < kItemSize; ++i) image.items[index][i] = static_cast<std::uint8_t>(index * 7 + i * 13);
    FakeFiles files;
    std::string error;
    ASSERT_TRUE(SaveNodeFile(files, kFile, image, error)) << error;
    Image back;
    ASSERT_TRUE(LoadNodeFile(files, kFile, back, error)) << error;
    EXPECT_EQ(back, image);
    EXPECT_EQ(files.disk.size(), 1u) << "nothing beside the file";
}

TEST(NodeFile, HandEditedFilesAreAccepted) {
    struct Row {
        const char* what;
        std::string text;
    } rows[] = {
        {"windows line ends", [] {
             std::string t = FormatImage(DefaultImage()), out;
             for (char c : t) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return out;
         }()},
        {"lower case and short item", Edited("item 23:", "item 23: 4e 20")},
        {"comments and blank lines", Edited("name:", "\n  # renamed\nname: Bench node\n")},
        {"empty name", Edited("name:", "name:")},
        {"UTF-8 byte-order mark, as Notepad saves", "\xEF\xBB\xBF" + FormatImage(DefaultImage())},
    };
    for (const Row& row : rows) {
        Image image;
        std::string error;
        EXPECT_TRUE(ParseImage(row.text, image, error)) << row.what << ": " << error;
    }
    Image image;
    std::string error;
    ASSERT_TRUE(ParseImage(Edited("item 23:", "item 23: 4e 20"), image, error));
    EXPECT_EQ(GetU16(image.items, 23), 20000u);
    EXPECT_EQ(image.items[23][2], 0);
}

TEST(NodeFile, MalformedFileIsRefusedWithItsLineAndLeftUntouched) {
    struct Row {
        std::string text;
        const char* message;
    } rows[] = {
        {Edited("item 21:", "item 21: 01 2"), "line 10: \"2\" is not a byte"},
        {Edited("item 21:", "item 21: 01 GG"), "\"GG\" is not a byte"},
        {Edited("item 21:", "item 21:"), "item 21 has no bytes"},
        {Edited("item 21:", "item 21 01 02"), "expected \"item N: HEX BYTES\""},
        {Edited("item 21:", "item 99: 01"), "item 99 is not an item of this node"},
        {Edited("item 21:", "item x: 01"), "\"x\" is not an item number"},
        {Edited("item 21:", "item 22: 01"), "item 22 is given twice"},
        {Edited("item 30:", "item 30:" + std::string(33 * 3, ' ').replace(0, 99, [] {
                                 std::string s;
                                 for (int i = 0; i < 33; ++i) s += " 00";
                                 return s;
                             }())),
         "more than 32 bytes"},
        {Edited("item 30:", "# gone"), "item 30 is missing"},
        {Edited("name:", "# no name"), "no \"name:\" line"},
        {Edited("name:", "name: x\nname: y"), "the name is given twice"},
        {Edited("name:", "name: " + std::string(51, 'n')), "longer than 50 bytes"},
        {Edited("name:", "nome: x"), "expected \"name: TEXT\" or \"item N: HEX BYTES\""},
        {std::string("\x89PNG\r\n\x1a\n\0\0", 10), "zero byte"},
        {"", "no \"name:\" line"},
        {FormatImage(DefaultImage()) + std::string(kMaxNodeFile, '#'), "larger than 64 KB"},
    };
    int i = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        const std::string file = "bad" + std::to_string(i++) + ".txt";
        FakeFiles files;
        files.disk[file] = row.text;
        Image image = BlankImage();
        image.name = "unchanged";
        const Image before = image;
        std::string error;
        EXPECT_FALSE(LoadNodeFile(files, file, image, error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind(file, 0), 0u) << "names the file: " << error;
        EXPECT_EQ(image, before);
        EXPECT_EQ(files.disk[file], row.text);
    }
}

TEST(NodeFile, MissingFileIsAnError) {
    FakeFiles files;
    Image image;
    std::string error;
    EXPECT_FALSE(LoadNodeFile(files, kFile, image, error));
    EXPECT_EQ(error, kFile + ": cannot read: no such file");
}

// A file just at the limit is read (and judged by its content); one byte
// more is refused without being parsed.
TEST(NodeFile, SizeLimitIsSixtyFourKilobytes) {
    FakeFiles files;
    std::string text = FormatImage(DefaultImage());
    text += std::string(kMaxNodeFile - text.size(), '\n');
    files.disk[kFile] = text;
    Image image;
    std::string error;
    EXPECT_TRUE(LoadNodeFile(files, kFile, image, error)) << error;
    files.disk[kFile] += "\n";
    EXPECT_FALSE(LoadNodeFile(files, kFile, image, error));
    EXPECT_NE(error.find("larger than 64 KB"), std::string::npos) << error;
}

// A power cut after any step of a save: what was flushed is what the disk
// has, and the file there reads back whole, the old image or the new one.
TEST(NodeFile, PowerCutAfterEachStepLeavesTheOldOrTheNewFile) {
    Image old = DefaultImage(), next = DefaultImage();
    old.name = "old";
    next.name = "new";
    for (SaveStep cut : kSteps) {
        SCOPED_TRACE(StepName(cut));
        FakeFiles files;
        std::string error;
        ASSERT_TRUE(SaveNodeFile(files, kFile, old, error)) << error;
        std::map<std::string, std::string> atCut;
        std::vector<SaveStep> done;
        ASSERT_TRUE(SaveNodeFile(files, kFile, next, error, [&](SaveStep s) {
            done.push_back(s);
            if (s == cut) atCut = files.disk;
        })) << error;
        EXPECT_EQ(done, std::vector<SaveStep>(std::begin(kSteps), std::end(kSteps)));
        FakeFiles after;
        after.disk = atCut;
        Image back;
        ASSERT_TRUE(LoadNodeFile(after, kFile, back, error)) << error;
        EXPECT_EQ(back.name, cut == SaveStep::Replace ? "new" : "old");
        // The next start finds what the cut left beside the file and removes it.
        EXPECT_EQ(RemoveStaleTemps(after, kFile), cut == SaveStep::Replace ? 0 : 1);
        EXPECT_EQ(after.disk.size(), 1u);
    }
}

// A step that fails: the save reports it, the old file stays as it was and
// the temporary file is closed and gone.
TEST(NodeFile, FailedStepLeavesTheOldFileAndNoTemporary) {
    for (SaveStep failing : kSteps) {
        SCOPED_TRACE(StepName(failing));
        FakeFiles files;
        std::string error;
        Image old = DefaultImage();
        old.name = "old";
        ASSERT_TRUE(SaveNodeFile(files, kFile, old, error)) << error;
        const std::string before = files.disk[kFile];
        files.failing = failing;
        EXPECT_FALSE(SaveNodeFile(files, kFile, DefaultImage(), error));
        EXPECT_NE(error.find(std::string("injected ") + StepName(failing) + " failure"), std::string::npos) << error;
        EXPECT_NE(error.find(kFile), std::string::npos) << error;
        EXPECT_EQ(files.disk, (std::map<std::string, std::string>{{kFile, before}}));
        EXPECT_EQ(files.open, "");
    }
}

// Two saves never share a temporary: a name taken already is skipped.
TEST(NodeFile, TemporaryNameTakenIsSkipped) {
    FakeFiles files;
    files.disk[TempFor(kFile, "t1")] = "another tool's";
    std::string error;
    ASSERT_TRUE(SaveNodeFile(files, kFile, DefaultImage(), error)) << error;
    EXPECT_EQ(files.disk[TempFor(kFile, "t1")], "another tool's");
    EXPECT_EQ(files.disk.size(), 2u);
}

TEST(NodeFile, StaleTemporariesAreRecognisedByName) {
    struct Row {
        const char* name;
        bool stale;
    } rows[] = {
        {"node.txt.brisel-1F2A-3.tmp", true}, {"node.txt.tmp", true},         {"node.txt", false},
        {"node.txt.brisel-a.b.tmp", false},   {"node.txt.brisel-.tmp", false}, {"other.txt.brisel-1.tmp", false},
        {"node.txt.brisel-1.bak", false},     {"xnode.txt.brisel-1.tmp", false}, {"node.txt.lock", false},
        {"node.txt.backup.tmp", false},       {"node.txt.1F2A-3.tmp", false},  // the user's own
    };
    FakeFiles files;
    for (const Row& row : rows) {
        EXPECT_EQ(IsTempOf(row.name, "node.txt"), row.stale) << row.name;
        files.disk["C:/data/" + std::string(row.name)] = "x";
    }
    files.disk["C:/else/node.txt.brisel-1.tmp"] = "another folder";
    EXPECT_EQ(RemoveStaleTemps(files, "C:/data/node.txt"), 2);
    EXPECT_EQ(files.disk.size(), std::size(rows) - 2 + 1);
}

TEST(NodeFile, PathsSplitOnEitherSlash) {
    EXPECT_EQ(FolderOf("C:\\a b\\node.txt"), "C:\\a b");
    EXPECT_EQ(NameOf("C:\\a b\\node.txt"), "node.txt");
    EXPECT_EQ(FolderOf("/tmp/x/node.txt"), "/tmp/x");
    EXPECT_EQ(FolderOf("node.txt"), "");
    EXPECT_EQ(NameOf("node.txt"), "node.txt");
}

TEST(NodeFile, EveryNodeOfANetworkHasItsOwnFileBesideTheFirst) {
    EXPECT_EQ(NodeFileOf("C:\\a\\node.txt", 1), "C:\\a\\node.txt");
    EXPECT_EQ(NodeFileOf("C:\\a\\node.txt", 16), "C:\\a\\node16.txt");
    EXPECT_EQ(NodeFileOf("C:\\a.b\\node", 3), "C:\\a.b\\node3");  // a folder's dot is no extension
    EXPECT_EQ(NodeFileOf("/x/.node", 2), "/x/.node2");              // nor a leading one
}
