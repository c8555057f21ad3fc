#include <gtest/gtest.h>

#include <map>

#include "discovery.h"

using namespace brmodel;

namespace {

// Keys as paths; a value of "\x01" stands for a key without a string value.
class FakeRegistry : public RegistryView {
public:
    std::vector<std::pair<std::string, std::string>> keys;  // in enumeration order

    std::vector<std::string> SubKeys(const std::string& path) const override {
        std::vector<std::string> out;
        const std::string prefix = path + "\\";
        for (const auto& [key, value] : keys) {
            if (key.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string rest = key.substr(prefix.size());
            const std::string name = rest.substr(0, rest.find('\\'));
            if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
        }
        return out;
    }
    std::optional<std::string> DefaultValue(const std::string& path) const override {
        for (const auto& [key, value] : keys)
            if (key == path) return value == "\x01" ? std::nullopt : std::optional<std::string>(value);
        return std::nullopt;
    }
};

const char A[] = "{E11D7042-0CC6-49E7-96B8-CAC4B5BACEB1}";
const char B[] = "{00000000-1111-2222-3333-444444444444}";
const char C[] = "{abcdefab-cdef-abcd-efab-cdefabcdefab}";

std::string Pid(const std::string& clsid) { return std::string("CLSID\\") + clsid + "\\Node\\ProgramID"; }

}  // namespace

TEST(Discovery, FindsTheClassesWhoseNodeKeyNamesTheProgram) {
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;
        std::vector<std::string> expected;
    } rows[] = {
        {"empty registry", {}, {}},
        {"one match among others",
         {{std::string("CLSID\\") + B + "\\InprocServer32", "x.dll"}, {Pid(A), kProgramId}, {Pid(C), "01 02 03 04 05 06 07 08"}},
         {A}},
        {"no match", {{Pid(A), "94 4B 61 6C 64 6F 72 2F"}, {Pid(B), "94 4B 61 6C"}}, {}},
        {"several matches in registry order", {{Pid(C), kProgramId}, {Pid(A), kProgramId}}, {C, A}},
        {"case and spacing do not matter", {{Pid(C), "  94 4b 61 6c  64 6f 72 2e "}}, {C}},
        {"node key without ProgramID", {{std::string("CLSID\\") + A + "\\Node\\TestID", "%1"}}, {}},
        {"ProgramID without a string value", {{Pid(A), "\x01"}}, {}},
        {"empty ProgramID", {{Pid(A), ""}}, {}},
        {"bytes run together", {{Pid(A), "944B616C646F722E"}}, {}},
        {"key that is not a class id", {{"CLSID\\CLSID\\Node\\ProgramID", kProgramId}, {"CLSID\\{E11D7042}\\Node\\ProgramID", kProgramId}}, {}},
        {"ProgramID one level too deep", {{std::string("CLSID\\") + A + "\\Node\\X\\ProgramID", kProgramId}}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeRegistry reg;
        reg.keys = row.keys;
        EXPECT_EQ(FindPlugins(reg, kProgramId), row.expected);
    }
}

TEST(Discovery, ProgramIdsCompareAsBytes) {
    EXPECT_TRUE(SameProgramId("01 02 03 04 05 06 07 08", "01 02 03 04 05 06 07 08"));
    EXPECT_FALSE(SameProgramId("01 02 03 04 05 06 07 08", "01 02 03 04 05 06 07 09"));
    EXPECT_FALSE(SameProgramId("01 02 03 04 05 06 07", "01 02 03 04 05 06 07"));
    EXPECT_FALSE(SameProgramId("01 02 03 04 05 06 07 08 09", "01 02 03 04 05 06 07 08 09"));
    EXPECT_FALSE(SameProgramId("0x 02 03 04 05 06 07 08", "0x 02 03 04 05 06 07 08"));
}
