#include <gtest/gtest.h>

#include <string>

#include "tool/tool.h"

namespace {
std::string clean(std::string line) {
    line.push_back('\0');  // room for the terminator, as in the read buffer
    size_t n = ListCleanLine(line.data(), line.size() - 1);
    EXPECT_EQ(line.c_str(), line.substr(0, n)) << "terminator not placed";
    return line.substr(0, n);
}
}  // namespace

TEST(ToolListPaths, PrefixIsTheListDirectory) {
    EXPECT_EQ(ListDirPrefix("lists/x.lst"), "lists");
    EXPECT_EQ(ListDirPrefix("a/b/c.lst"), "a/b");
    EXPECT_EQ(ListDirPrefix("x.lst"), "");
    EXPECT_EQ(ListDirPrefix("/x.lst"), "");  // a leading slash alone is no directory
    EXPECT_EQ(ListDirPrefix("/d/x.lst"), "/d");
    EXPECT_EQ(ListDirPrefix(""), "");
    EXPECT_EQ(ListDirPrefix("d/"), "d");
}

TEST(ToolListPaths, LineEndingsAreStripped) {
    EXPECT_EQ(clean("docs/a.txt\n"), "docs/a.txt");
    EXPECT_EQ(clean("docs/a.txt\r\n"), "docs/a.txt");
    EXPECT_EQ(clean("docs/a.txt"), "docs/a.txt");
    EXPECT_EQ(clean("\n"), "");
    EXPECT_EQ(clean(""), "");
    EXPECT_EQ(clean("a\r\n"), "a");
}

TEST(ToolListPaths, BareCrLfLineKeepsItsCarriageReturn) {
    EXPECT_EQ(clean("\r\n"), "\r");
}

TEST(ToolListPaths, CarriageReturnTestUsesTheLengthAsRead) {
    // Without a final line feed the character before the last one is tested.
    EXPECT_EQ(clean("abc\rd"), "abc");
    EXPECT_EQ(clean("ab\r"), "ab\r");
}

TEST(ToolListPaths, DocumentPathsJoinRelativeLines) {
    EXPECT_EQ(ListDocPath("lists", "docs/a.txt"), "lists/docs/a.txt");
    EXPECT_EQ(ListDocPath("lists", "/abs/b.txt"), "/abs/b.txt");
    EXPECT_EQ(ListDocPath("", "docs/a.txt"), "docs/a.txt");
    EXPECT_EQ(ListDocPath("", "/abs/b.txt"), "/abs/b.txt");
}
