#include <gtest/gtest.h>

#include "discovery.h"
#include "options.h"

using namespace brmodel;

TEST(Options, Defaults) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({}, o, error));
    EXPECT_EQ(o.interfaces, Interfaces::Both);
    EXPECT_EQ(o.latencyMs, 0u);
    EXPECT_TRUE(o.failRead.empty() && o.failWrite.empty() && !o.failAll);
    EXPECT_EQ(o.programId, "94 4B 61 6C 64 6F 72 2E");
    EXPECT_TRUE(o.nodeFile.empty() && o.demoDir.empty() && !o.reset && !o.properties);
    EXPECT_EQ(o.span, 600);
    EXPECT_EQ(o.warmUp, 600) << "the chart opens filled";
    EXPECT_TRUE(o.nodes == 1 && o.select == 1);
    ASSERT_TRUE(ParseOptions({"--span", "1800"}, o, error));
    EXPECT_EQ(o.warmUp, 1800) << "the warm-up follows the span";
}

TEST(Options, Accepted) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--node", "n.txt", "--reset", "--latency", "250", "--fail-read", "21,30",
                              "--fail-read", "13", "--fail-write", "33", "--fail-all", "--interfaces", "reader",
                              "--demo-walk", "out", "--tick", "200", "--program-id", "01 02 03 04 05 06 07 08",
                              "--seed", "42", "--day", "120", "--properties", "--span", "300",
                              "--warm-up", "0", "--stop-save-after", "flush", "--select", "16", "--nodes", "16"},
                             o, error))
        << error;
    EXPECT_EQ(o.nodeFile, "n.txt");
    EXPECT_TRUE(o.reset && o.failAll && o.properties);
    EXPECT_EQ(o.latencyMs, 250u);
    EXPECT_EQ(o.failRead, (std::set<long>{13, 21, 30}));
    EXPECT_EQ(o.failWrite, (std::set<long>{33}));
    EXPECT_EQ(o.interfaces, Interfaces::Reader);
    EXPECT_EQ(o.demoDir, "out");
    EXPECT_EQ(o.tickMs, 200u);
    EXPECT_EQ(o.programId, "01 02 03 04 05 06 07 08");
    EXPECT_EQ(o.seed, 42u);
    EXPECT_EQ(o.dayLength, 120);
    EXPECT_EQ(o.span, 300);
    EXPECT_EQ(o.warmUp, 0);
    EXPECT_EQ(o.stopSaveAfter, "flush");
    EXPECT_TRUE(o.nodes == 16 && o.select == 16) << "the selection may come before the count";
    for (auto [word, which] : {std::pair{"none", Interfaces::None}, {"writer", Interfaces::Writer}, {"both", Interfaces::Both}}) {
        ASSERT_TRUE(ParseOptions({"--interfaces", word}, o, error));
        EXPECT_EQ(o.interfaces, which);
    }
}

TEST(Options, RefusedWithTheOptionNamed) {
    struct Row {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"--latency"}, "--latency needs a value"},
        {{"--latency", "-5"}, "--latency: \"-5\""},
        {{"--latency", "60001"}, "--latency: \"60001\""},
        {{"--latency", "1e3"}, "--latency: \"1e3\""},
        {{"--fail-read", "21,,30"}, "--fail-read: \"21,,30\""},
        {{"--fail-read", "12"}, "--fail-read: \"12\" is not a list of this node's items"},
        {{"--fail-write", "21;30"}, "--fail-write: \"21;30\""},
        {{"--fail-write", ""}, "--fail-write: \"\""},
        {{"--interfaces", "all"}, "--interfaces: \"all\""},
        {{"--tick", "10"}, "--tick: \"10\""},
        {{"--program-id", "94 4B"}, "--program-id: \"94 4B\""},
        {{"--day", "abc"}, "--day: \"abc\""},
        {{"--seed", "x"}, "--seed: \"x\""},
        {{"--node", ""}, "--node needs a file name"},
        {{"--verbose"}, "unknown option \"--verbose\""},
        {{"--span", "59"}, "--span: \"59\" is not 60-86400 s"},
        {{"--warm-up", "-1"}, "--warm-up: \"-1\" is not 0-86400 s"},
        {{"--stop-save-after", "rename"}, "--stop-save-after: \"rename\" is not create, write"},
        {{"--nodes", "0"}, "--nodes: \"0\" is not a number of nodes from 1 to 16"},
        {{"--nodes", "17"}, "--nodes: \"17\""},
        {{"--nodes", "2.5"}, "--nodes: \"2.5\""},
        {{"--select", "2"}, "--select: node 2 is not one of the 1 node(s)"},
        {{"--nodes", "3", "--select", "4"}, "--select: node 4 is not one of the 3 node(s); give --nodes 4"},
    };
    for (const Row& row : rows) {
        Options o;
        o.latencyMs = 99;
        std::string error;
        EXPECT_FALSE(ParseOptions(row.args, o, error)) << row.message;
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
        EXPECT_EQ(o.latencyMs, 99u) << "left unchanged";
    }
}
