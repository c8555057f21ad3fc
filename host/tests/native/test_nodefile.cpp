#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "nodefile.h"

using namespace brmodel;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

class NodeFile : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("brisel-nodefile-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

// A valid file with one line replaced (or appended when the marker is absent).
std::string Edited(const std::string& from, const std::string& to) {
    std::string text = FormatImage(DefaultImage());
    auto at = text.find("\n" + from);
    if (at == std::string::npos) return text + to;
    ++at;
    return text.replace(at, text.find('\n', at) - at, to);
}

}  // namespace

TEST_F(NodeFile, RoundTripKeepsEveryByteAndTheName) {
    Image image = DefaultImage();
    image.name = "East wing, level 2: blinds #1-4";
    for (long index : AllItems())
        for (std::size_t i = 0; i < kItemSize; ++i) image.items[index][i] = static_cast<std::uint8_t>(index * 7 + i * 13);
    const fs::path file = dir / "sub" / "node.txt";
    std::string error;
    ASSERT_TRUE(SaveImage(file.string(), image, error)) << error;
    Image back;
    ASSERT_TRUE(LoadImage(file.string(), back, error)) << error;
    EXPECT_EQ(back, image);
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST_F(NodeFile, HandEditedFilesAreAccepted) {
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

TEST_F(NodeFile, MalformedFileIsRefusedWithItsLineAndLeftUntouched) {
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
    };
    int i = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        const fs::path file = dir / ("bad" + std::to_string(i++) + ".txt");
        Spit(file, row.text);
        Image image = BlankImage();
        image.name = "unchanged";
        const Image before = image;
        std::string error;
        EXPECT_FALSE(LoadImage(file.string(), image, error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind(file.string(), 0), 0u) << "names the file: " << error;
        EXPECT_EQ(image, before);
        EXPECT_EQ(Slurp(file), row.text);
    }
}

TEST_F(NodeFile, MissingOrUnreadableFileIsAnError) {
    Image image;
    std::string error;
    EXPECT_FALSE(LoadImage((dir / "none.txt").string(), image, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_FALSE(LoadImage(dir.string(), image, error)) << "a folder is not a node file";
}

// The image goes to a temporary file that replaces the old one only when it
// has been written whole; when that is impossible the old file stays.
TEST_F(NodeFile, SaveReplacesAtomicallyOrNotAtAll) {
    const fs::path file = dir / "node.txt";
    std::string error;
    Image first = DefaultImage();
    ASSERT_TRUE(SaveImage(file.string(), first, error)) << error;
    const std::string old = Slurp(file);

    Image second = first;
    second.name = "second";
    ASSERT_TRUE(SaveImage(file.string(), second, error)) << error;
    EXPECT_NE(Slurp(file), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary left";
    const std::string good = Slurp(file);

    fs::create_directory(file.string() + ".tmp");  // the temporary cannot be created
    Image third = first;
    third.name = "third";
    EXPECT_FALSE(SaveImage(file.string(), third, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(Slurp(file), good);
}
