// Compiled HTML Help files through the filter plug-in (dxfilter_chm.so and
// its LZX decoder): the format rule, the topics of the fixtures (scripts/
// make_chm_fixtures.py) in the order of their table of contents, the
// charset a page declares or its file's locale names, files without topic
// text, and damaged, cut, looping and mutated files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

uint32_t Le32(const std::string &b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}
void PutLe32(std::string &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

class DxFilterChm : public OleReaderTest {
  protected:
    DxFilterChm() : OleReaderTest("h.chm") {}
    static std::string Sample(const std::string &name) { return Bytes("chm/" + name); }

    // Where the directory's listing chunks start, and their size (the
    // fixtures have one ITSP header of 0x54 bytes).
    static size_t Chunks(const std::string &chm) { return Le32(chm, 0x48) + 0x54; }
    static uint32_t ChunkSize(const std::string &chm) { return Le32(chm, Le32(chm, 0x48) + 0x10); }
};

TEST_F(DxFilterChm, OnlyVersionsTwoAndThreeWithTheirHeaderTakeTheFormat) {
    const std::string chm = Sample("en.chm");
    std::string v2 = chm;
    PutLe32(v2, 4, 2);
    PutLe32(v2, 8, 0x58);
    EXPECT_EQ(plugin->Format(Temp("a.chm", v2)), DX_FMT_CHM);
    std::string other = chm;
    PutLe32(other, 4, 4);  // another member of the container family
    EXPECT_NE(plugin->Format(Temp("b.chm", other)), DX_FMT_CHM);
    std::string length = chm;
    PutLe32(length, 8, 0x58);  // version 3 with version 2's header
    EXPECT_NE(plugin->Format(Temp("c.chm", length)), DX_FMT_CHM);
    EXPECT_NE(plugin->Format(Temp("d.chm", chm.substr(0, 10))), DX_FMT_CHM);
}

TEST_F(DxFilterChm, TopicsComeInTheOrderOfTheTableOfContents) {
    // Contents: c, a (with an anchor), a missing file, sub/e.HTM, c again;
    // then the other topics in directory order: b, sub/d.html. The style
    // sheet and the text file are no topics.
    const std::string text = Text(Sample("order.chm"));
    const char *topics[] = {"charlie topic", "alpha topic", "echo topic", "bravo topic",
                            "delta topic"};
    size_t last = 0;
    for (const char *topic : topics) {
        const size_t at = text.find(topic);
        ASSERT_NE(at, std::string::npos) << topic << "\n" << text;
        EXPECT_GE(at, last) << topic << "\n" << text;
        last = at;
    }
    EXPECT_EQ(text.find("charlie topic"), text.rfind("charlie topic")) << text;
    EXPECT_EQ(text.find("never read"), std::string::npos) << text;
    EXPECT_EQ(text.find("serif"), std::string::npos) << text;

    const std::string en = Text(Sample("en.chm"));
    EXPECT_EQ(en.rfind("The harbour\nThe harbour\nEvery morning the ferry", 0), 0u) << en;
    EXPECT_NE(en.find("for sweets.\nThe library\n"), std::string::npos) << en;
}

TEST_F(DxFilterChm, PagesAreReadInTheirDeclaredCharsetElseTheLocales) {
    // German in windows-1252 and Russian and Japanese without a
    // declaration: the locale's code page. Russian declared by meta under
    // an English locale, and Chinese declared as gb2312: the declaration.
    EXPECT_NE(Text(Sample("de.chm")).find("Der Bäcker öffnet seinen Laden"), std::string::npos);
    const std::string russian = "Зимним вечером вся семья собирается у печки";
    EXPECT_NE(Text(Sample("ru-lcid.chm")).find(russian), std::string::npos);
    EXPECT_NE(Text(Sample("ru-meta.chm")).find(russian), std::string::npos);
    EXPECT_NE(Text(Sample("ja.chm")).find("漁師たちは日が昇る前に"), std::string::npos);
    EXPECT_NE(Text(Sample("zh.chm")).find("老人们在这里喝茶聊天"), std::string::npos);
    // Without a locale the bytes decide: still Russian.
    std::string noLocale = Sample("ru-lcid.chm");
    PutLe32(noLocale, 0x14, 0);
    const size_t record = noLocale.find(std::string("\x04\x00\x24\x00\x19\x04", 6));
    ASSERT_NE(record, std::string::npos);  // #SYSTEM's record 4: the LCID first
    PutLe32(noLocale, record + 4, 0);
    EXPECT_NE(Text(noLocale).find(russian), std::string::npos);
}

TEST_F(DxFilterChm, FilesWithoutTopicTextAreEmpty) {
    Extraction r = Run(Sample("notext.chm"));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterChm, DamagedCutAndHugeFilesEndCleanly) {
    ExpectRefused(Sample("damaged.chm"), "damaged");
    ExpectRefused(Sample("en.chm").substr(0, 0x200), "a directory cut");
    // Cut inside the third LZX frame: the first topic, then the end.
    const std::string cut = Text(Sample("truncated.chm"));
    EXPECT_TRUE(cut.starts_with("The harbour\n") && cut.ends_with("thrown over the side.\n"))
        << cut;
    // A third topic that claims 1 TiB: the two before it, then the end.
    const std::string huge = Text(Sample("huge.chm"));
    EXPECT_TRUE(huge.starts_with("The harbour\n") && huge.ends_with("for sweets.\n")) << huge;
    // Every cut of a file is bounded and balanced.
    ExpectCutsBounded(Sample("later.chm"), 97, 90000);
}

TEST_F(DxFilterChm, DirectoriesThatLoopAreRefusedAtOnce) {
    const std::string chm = Sample("en.chm");
    const size_t chunks = Chunks(chm), size = ChunkSize(chm);
    ASSERT_EQ(chm.compare(chunks, 4, "PMGL"), 0);
    // The one listing chunk names itself as the next.
    std::string chain = chm;
    PutLe32(chain, chunks + 0x10, 0);
    // An index chunk added as the root, whose one entry leads to itself:
    // a reader that trusts the index would follow it for ever.
    std::string index = chm;
    std::string pmgi(size, '\0');
    pmgi.replace(0, 4, "PMGI");
    const std::string entry("\x01/\x01", 3);
    pmgi.replace(8, entry.size(), entry);
    PutLe32(pmgi, 4, static_cast<uint32_t>(size - 8 - entry.size()));
    index.insert(chunks + size, pmgi);
    const size_t itsp = Le32(chm, 0x48);
    PutLe32(index, 0x50, Le32(chm, 0x50) + static_cast<uint32_t>(size));  // directory length
    PutLe32(index, 0x58, Le32(chm, 0x58) + static_cast<uint32_t>(size));  // content offset
    PutLe32(index, itsp + 0x1C, 1);                                       // index root
    PutLe32(index, itsp + 0x2C, 2);                                       // chunks
    // LZX control data with a window of 0, which a decoder would divide by.
    std::string window = chm;
    const size_t lzxc = window.find("LZXC");
    ASSERT_NE(lzxc, std::string::npos);
    PutLe32(window, lzxc + 0xC, 0);
    for (const std::string *bad : {&chain, &index, &window}) {
        const auto start = std::chrono::steady_clock::now();
        ExpectRefused(*bad, bad == &chain ? "chain" : bad == &index ? "index" : "window");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    // The index chunk pointing down to the listing chunk reads as before.
    std::string tree = index;
    tree[chunks + size + 8 + 2] = '\0';
    EXPECT_EQ(Text(tree), Text(chm));
}

TEST_F(DxFilterChm, MutatedFilesNeverBreakThePlugin) {
    Mutator m(4242);
    for (const char *name : {"order.chm", "ru-lcid.chm"})
        ExpectDamageBounded(m, Sample(name), {.rounds = 60, .most = 8, .from = 16}, 4096, name);
}

}  // namespace
