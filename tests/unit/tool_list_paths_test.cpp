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

TEST(ToolListPaths, ListLinesBecomeDocumentPaths) {
    for (auto [list, prefix] : {std::pair{"lists/x.lst", "lists"},
                                {"a/b/c.lst", "a/b"},
                                {"x.lst", ""},
                                {"/x.lst", ""},
                                {"/d/x.lst", "/d"},
                                {"d/", "d"}})
        EXPECT_EQ(ListDirPrefix(list), prefix) << list;
    // Without a final line feed the character before the last one is tested
    // for a carriage return; a bare CR LF line keeps its carriage return.
    for (auto [line, cleaned] : {std::pair{"a.txt\n", "a.txt"},
                                 {"a.txt\r\n", "a.txt"},
                                 {"a.txt", "a.txt"},
                                 {"\n", ""},
                                 {"", ""},
                                 {"\r\n", "\r"},
                                 {"abc\rd", "abc"},
                                 {"ab\r", "ab\r"}})
        EXPECT_EQ(clean(line), cleaned) << line;
    EXPECT_EQ(ListDocPath("lists", "docs/a.txt"), "lists/docs/a.txt");
    EXPECT_EQ(ListDocPath("lists", "/abs/b.txt"), "/abs/b.txt");
    EXPECT_EQ(ListDocPath("", "docs/a.txt"), "docs/a.txt");
}
