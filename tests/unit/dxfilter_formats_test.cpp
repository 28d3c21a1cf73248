// Format codes the filter plug-in's file information answers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "dxfilter_harness.h"

namespace {

using dxtest::Plugin;

class DxFilterFormats : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { plugin = new Plugin(); }
    static void TearDownTestSuite() {
        delete plugin;
        plugin = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(plugin->ok()) << "dxfilter.so did not load or start"; }

    static std::string Temp(const std::string &name, const std::string &bytes) {
        std::string path = ::testing::TempDir() + "dxfilter_" + std::to_string(getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static Plugin *plugin;
};
Plugin *DxFilterFormats::plugin = nullptr;

TEST_F(DxFilterFormats, EverySampleOfTheTableHasItsCode) {
    auto samples = dxtest::LoadSamples();
    ASSERT_GT(samples.size(), 60u);
    for (const auto &s : samples)
        EXPECT_EQ(plugin->Format(dxtest::kData + s.file), s.format) << s.file;
}

TEST_F(DxFilterFormats, TableCoversEveryExtractableFormatInSixLanguages) {
    std::map<int, int> perFormat;
    for (const auto &s : dxtest::LoadSamples())
        if (s.word != "-" && s.file.rfind("docs/", 0) == 0) ++perFormat[s.format];
    for (int code : {DX_FMT_PDF, DX_FMT_DOCX, DX_FMT_XLSX, DX_FMT_PPTX, DX_FMT_ODT, DX_FMT_ODS,
                     DX_FMT_ODP, DX_FMT_EPUB, DX_FMT_RTF})
        EXPECT_GE(perFormat[code], 6) << code;
}

TEST_F(DxFilterFormats, ModulesAreFoundNextToThePluginWithoutAFilterDirectory) {
    for (const char *dir : {static_cast<const char *>(nullptr), "/nonexistent/"}) {
        void *filter =
            plugin->api.initialise(nullptr, nullptr, dir, DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
        ASSERT_NE(filter, nullptr);
        DXFileInfo info{};
        plugin->api.fileInformation(filter, (std::string(dxtest::kData) + "docs/fr.docx").c_str(),
                                    &info);
        EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], static_cast<uint32_t>(DX_FMT_DOCX));
        plugin->api.shutdown(filter);
    }
}

TEST_F(DxFilterFormats, OnlyUtf16OutputIsOffered) {
    EXPECT_EQ(plugin->api.initialise(nullptr, nullptr, dxtest::kFilterDir, 53, DX_INIT_FLAGS),
              nullptr);
}

TEST_F(DxFilterFormats, InfoRecordIsFilledEvenForMissingFiles) {
    DXFileInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_NE(plugin->api.fileInformation(plugin->handle, "/nonexistent/dxfilter", &info), 0);
    EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], 0u);
    EXPECT_EQ(info.word[DX_FILEINFO_SIZE_WORD], sizeof info);
    EXPECT_EQ(plugin->Format(::testing::TempDir()), DX_FMT_UNKNOWN);  // a directory
    std::string fifo = ::testing::TempDir() + "dxfilter_fifo_" + std::to_string(getpid());
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(plugin->Format(fifo), DX_FMT_UNKNOWN);  // answered at once, without a writer
    std::remove(fifo.c_str());
}

TEST_F(DxFilterFormats, MarkupIsToldApart) {
    EXPECT_EQ(plugin->Format(Temp("a.xml", "  <?xml version='1.0'?><a/>")), DX_FMT_XML);
    EXPECT_EQ(plugin->Format(Temp("b.html", "<!-- only a comment -->")), DX_FMT_HTML);
    EXPECT_EQ(
        plugin->Format(Temp("c.xhtml",
                            "<?xml version='1.0'?>\n<html xmlns='http://www.w3.org/1999/xhtml'>"
                            "<body><p>x</p></body></html>")),
        DX_FMT_HTML);
    EXPECT_EQ(plugin->Format(Temp("d.sgml", "<doc><x></x></doc>")), DX_FMT_SGML);
    EXPECT_EQ(plugin->Format(Temp("e.txt", "if a<b and b>c then <nothing> happens\n")),
              DX_FMT_TEXT);
    EXPECT_EQ(plugin->Format(Temp("f.html", "Some words<br>more words<br>end\n")), DX_FMT_HTML);
}

TEST_F(DxFilterFormats, TextWithFewControlBytesStaysText) {
    std::string text(2000, 'a');
    text[100] = '\x01';
    text[900] = '\x08';
    text[1500] = '\x1F';
    EXPECT_EQ(plugin->Format(Temp("ctl.txt", text)), DX_FMT_TEXT);
    text[1700] = '\0';  // a stray zero byte is a stray control byte too
    EXPECT_EQ(plugin->Format(Temp("nul.txt", text)), DX_FMT_TEXT);
    for (size_t i = 0; i < text.size(); i += 10) text[i] = '\x02';
    EXPECT_NE(plugin->Format(Temp("ctl2.txt", text)), DX_FMT_TEXT);
}

TEST_F(DxFilterFormats, Utf16WithoutMarkIsText) {
    std::string le, be;
    for (char c : std::string("Hello world, this is text.\n")) {
        le += c, le += '\0';
        be += '\0', be += c;
    }
    EXPECT_EQ(plugin->Format(Temp("le.txt", le + le)), DX_FMT_TEXT);
    EXPECT_EQ(plugin->Format(Temp("be.txt", be + be)), DX_FMT_TEXT);
    // Chinese in UTF-16 need not hold a zero byte at all.
    std::u16string chinese =
        u"敏捷的棕色狐狸跳过了河边那只懒惰的狗每天早上面包师打启他的店铺把新鲜的面包卖给邻居";
    std::string cjk;
    for (char16_t u : chinese) cjk += static_cast<char>(u & 0xFF), cjk += static_cast<char>(u >> 8);
    ASSERT_EQ(cjk.find('\0'), std::string::npos);
    EXPECT_EQ(plugin->Format(Temp("cjk.txt", cjk + cjk)), DX_FMT_TEXT);
    // Sixteen-bit numbers are not text, though their zero bytes line up.
    std::string numbers;
    for (int i = 0; i < 200; ++i) numbers += static_cast<char>(i % 7), numbers += '\0';
    EXPECT_NE(plugin->Format(Temp("numbers.bin", numbers)), DX_FMT_TEXT);
}

TEST_F(DxFilterFormats, RandomBytesAreNotText) {
    uint32_t seed = 99;
    for (int round = 0; round < 20; ++round) {
        std::string bytes;
        for (int i = 0; i < 4000; ++i) {
            seed = seed * 1664525u + 1013904223u;
            unsigned char c = static_cast<unsigned char>(seed >> 24);
            bytes += static_cast<char>(c == 0 ? 1 : c);  // no zero bytes
        }
        EXPECT_NE(plugin->Format(Temp("random.bin", bytes)), DX_FMT_TEXT) << round;
    }
}

TEST_F(DxFilterFormats, HugeSparseFileIsAnsweredFromItsHead) {
    std::string path = Temp("huge.bin", "");
    ASSERT_EQ(truncate(path.c_str(), 200l << 20), 0);
    EXPECT_EQ(plugin->Format(path), DX_FMT_BINARY);
    std::remove(path.c_str());
}

// A zip archive of stored entries, as a byte string.
std::string stored_zip(const std::vector<std::pair<std::string, std::string>> &entries,
                       const std::string &comment = "") {
    auto crc32 = [](const std::string &data) {
        uint32_t crc = 0xFFFFFFFF;
        for (unsigned char c : data) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
        return ~crc;
    };
    auto u16 = [](std::string &out, uint32_t v) {
        out += char(v & 0xFF), out += char(v >> 8 & 0xFF);
    };
    auto u32 = [&](std::string &out, uint32_t v) { u16(out, v & 0xFFFF), u16(out, v >> 16); };
    std::string body, dir;
    for (const auto &[name, data] : entries) {
        uint32_t offset = static_cast<uint32_t>(body.size()), crc = crc32(data);
        u32(body, 0x04034b50), u16(body, 20), u16(body, 0), u16(body, 0), u32(body, 0);
        u32(body, crc), u32(body, data.size()), u32(body, data.size());
        u16(body, name.size()), u16(body, 0);
        body += name + data;
        u32(dir, 0x02014b50), u16(dir, 20), u16(dir, 20), u16(dir, 0), u16(dir, 0), u32(dir, 0);
        u32(dir, crc), u32(dir, data.size()), u32(dir, data.size());
        u16(dir, name.size()), u16(dir, 0), u16(dir, 0), u16(dir, 0), u16(dir, 0), u32(dir, 0);
        u32(dir, offset);
        dir += name;
    }
    std::string end;
    u32(end, 0x06054b50), u16(end, 0), u16(end, 0), u16(end, entries.size()),
        u16(end, entries.size()), u32(end, dir.size()), u32(end, body.size());
    u16(end, comment.size());
    return body + dir + end + comment;
}

TEST_F(DxFilterFormats, ZipDirectoriesAreReadWhereverTheyAre) {
    const std::pair<std::string, std::string> types{"[Content_Types].xml", "<Types/>"};
    EXPECT_EQ(plugin->Format(Temp("w.zip", stored_zip({types, {"word/document.xml", "<w/>"}}))),
              DX_FMT_DOCX);
    // A long archive comment puts the directory's end record far from the file's end.
    EXPECT_EQ(plugin->Format(Temp("c.zip", stored_zip({types, {"ppt/presentation.xml", "<p/>"}},
                                                      std::string(9000, 'c')))),
              DX_FMT_PPTX);
    // A mimetype entry that is not first is read through the archive.
    EXPECT_EQ(
        plugin->Format(Temp(
            "o.zip", stored_zip({{"content.xml", "<x/>"},
                                 {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}))),
        DX_FMT_ODS);
    EXPECT_EQ(plugin->Format(Temp("p.zip", stored_zip({{"a.txt", "hello"}}))), DX_FMT_ZIP);
    EXPECT_EQ(plugin->Format(Temp("e.zip", stored_zip({}))), DX_FMT_ZIP);
    // A directory that claims more than the file holds.
    std::string broken = stored_zip({types, {"word/document.xml", "<w/>"}});
    broken[broken.size() - 6] = '\x7F';
    EXPECT_EQ(plugin->Format(Temp("b.zip", broken)), DX_FMT_ZIP);
}

TEST_F(DxFilterFormats, ZipEntriesDecideTheOfficeType) {
    // The same package renamed keeps its type: the entries decide, not the name.
    std::ifstream in(std::string(dxtest::kData) + "docs/en.xlsx", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(plugin->Format(Temp("sheet.docx", bytes)), DX_FMT_XLSX);
}

}  // namespace
