#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "scan/scan.h"

using glotta_test::TempDir;

namespace {

std::vector<std::string> list(const std::string &text, bool nul, size_t stopAfter = 1000) {
    FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    std::vector<std::string> paths;
    EXPECT_TRUE(scan::ReadPathList(in, nul, [&](scan::Document &&d) {
        paths.push_back(d.path);
        return paths.size() < stopAfter;
    }));
    fclose(in);
    return paths;
}

TEST(ScanInputs, PathLists) {
    using V = std::vector<std::string>;
    EXPECT_EQ(list("a\nb c\r\n\n\r\nd", false), (V{"a", "b c", "d"}));
    EXPECT_EQ(list("", false), V{});
    EXPECT_EQ(list(std::string("a\nb\0c\0\0d", 9), true), (V{"a\nb", "c", "d"}));
    EXPECT_EQ(list("a\nb\nc\n", false, 2), (V{"a", "b"}));
}

// A document piped in where a list belongs has lines of any length: each is
// kept only as long as a path can be, and reported as no file.
TEST(ScanInputs, LinesLongerThanAnyPathStayBounded) {
    const std::string text = std::string(1 << 20, 'x') + "\nb\n" + std::string(PATH_MAX, 'y');
    FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    std::vector<scan::Document> documents;
    EXPECT_TRUE(scan::ReadPathList(in, false, [&](scan::Document &&d) {
        documents.push_back(std::move(d));
        return true;
    }));
    fclose(in);
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0].path.size(), size_t{PATH_MAX});
    EXPECT_TRUE(documents[0].path == std::string(PATH_MAX, 'x'));
    EXPECT_EQ(documents[0].presetCode, LANG_ERR_NOFILE);
    EXPECT_EQ(documents[1].path, "b");
    EXPECT_EQ(documents[1].presetCode, LANG_OK);
    // Exactly PATH_MAX bytes names no file either, but the engine says so.
    EXPECT_EQ(documents[2].path.size(), size_t{PATH_MAX});
    EXPECT_EQ(documents[2].presetCode, LANG_OK);
}

// Standard input as the one document: read whole up to the limit; one byte
// more is a document too large, and reading stops there.
TEST(ScanInputs, StandardInputDocumentStopsAtTheLimit) {
    const std::string text(300000, 'a');
    struct Case {
        size_t length, limit;
        int code;
        long consumed;
    };
    for (const Case &c :
         {Case{0, 10, LANG_OK, 0}, Case{10, 10, LANG_OK, 10}, Case{11, 10, LANG_ERR_NOMEM, 11},
          Case{300000, 1000, LANG_ERR_NOMEM, 1001}, Case{300000, 300000, LANG_OK, 300000}}) {
        FILE *in = tmpfile();
        ASSERT_NE(in, nullptr);
        fwrite(text.data(), 1, c.length, in);
        rewind(in);
        std::string bytes;
        EXPECT_EQ(scan::ReadDocument(in, c.limit, &bytes), c.code) << c.length << " " << c.limit;
        if (c.code == LANG_OK) {
            EXPECT_EQ(bytes, text.substr(0, c.length));
        }
        EXPECT_EQ(ftell(in), c.consumed) << c.length << " " << c.limit;
        fclose(in);
    }
}

struct Walked {
    std::vector<std::string> paths;
    std::vector<int> codes;
};

Walked walk(const std::string &path, bool recursive, bool follow, const std::string &root) {
    Walked w;
    scan::ExpandPath(path, recursive, follow, [&](scan::Document &&d) {
        w.paths.push_back(d.path.substr(root.size()));
        w.codes.push_back(d.presetCode);
        return true;
    });
    return w;
}

TEST(ScanInputs, DirectoriesAreWalkedInNameOrder) {
    TempDir dir;
    dir.write("t/b.txt", "b");
    dir.write("t/a/z.txt", "z");
    dir.write("t/a/y.txt", "y");
    dir.write("t/c/d/e.txt", "e");
    dir.mkdir("t/empty");
    const std::string root = dir.str() + "/";
    std::filesystem::create_symlink(dir.str("t/a"), dir.str("t/link_dir"));
    std::filesystem::create_symlink(dir.str("t/b.txt"), dir.str("t/link_file"));
    std::filesystem::create_symlink(dir.str("t/none"), dir.str("t/link_broken"));
    std::filesystem::create_symlink(dir.str("t"), dir.str("t/c/loop"));

    using V = std::vector<std::string>;
    EXPECT_EQ(walk(dir.str("t"), false, false, root).paths, V{"t"});
    EXPECT_EQ(walk(dir.str("t"), true, false, root).paths,
              (V{"t/a/y.txt", "t/a/z.txt", "t/b.txt", "t/c/d/e.txt"}));
    const Walked followed = walk(dir.str("t"), true, true, root);
    EXPECT_EQ(followed.paths,
              (V{"t/a/y.txt", "t/a/z.txt", "t/b.txt", "t/c/d/e.txt", "t/link_broken",
                 "t/link_dir/y.txt", "t/link_dir/z.txt", "t/link_file"}));
    EXPECT_EQ(followed.codes[4], LANG_ERR_NOFILE);
    // A file named by the user goes as it is, whatever -r says.
    EXPECT_EQ(walk(dir.str("t/b.txt"), true, false, root).paths, V{"t/b.txt"});
    EXPECT_EQ(walk(dir.str("missing"), true, false, root).paths, V{"missing"});
}

TEST(ScanInputs, AnUnreadableDirectoryIsOneFailedDocument) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    TempDir dir;
    dir.write("t/closed/x.txt", "x");
    dir.write("t/open.txt", "o");
    chmod(dir.str("t/closed").c_str(), 0);
    const Walked w = walk(dir.str("t"), true, false, dir.str() + "/");
    EXPECT_EQ(w.paths, (std::vector<std::string>{"t/closed", "t/open.txt"}));
    EXPECT_EQ(w.codes, (std::vector<int>{LANG_ERR_OPEN, LANG_OK}));
}

}  // namespace
