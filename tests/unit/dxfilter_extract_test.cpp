// Text the filter plug-in extracts, and how it meets bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "dxfilter_harness.h"

namespace {

using dxtest::Extraction;
using dxtest::Plugin;
using dxtest::to_utf8;

class DxFilterExtract : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { plugin = new Plugin(); }
    static void TearDownTestSuite() {
        delete plugin;
        plugin = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(plugin->ok()) << "dxfilter.so did not load or start"; }

    static std::string Temp(const std::string &name, const std::string &bytes) {
        std::string path = ::testing::TempDir() + "dxfilter_x_" + std::to_string(getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Data(const std::string &name) { return dxtest::kData + name; }

    // The stream was closed exactly once for every open.
    static void ExpectStreamReleased(const Extraction &r) {
        EXPECT_EQ(r.opens, 1);
        EXPECT_EQ(r.closes, 1);
    }
    static Plugin *plugin;
};
Plugin *DxFilterExtract::plugin = nullptr;

// The engine takes filtered text for UTF-16 only when it holds more than five
// line feeds, or more than one per hundred characters, in what it keeps.
bool recognisable_as_utf16(const std::u16string &text, size_t keptUnits = 2048) {
    size_t n = std::min(text.size(), keptUnits), feeds = 0;
    for (size_t i = 0; i < n; ++i) feeds += text[i] == u'\n';
    return feeds > 5 || feeds * 100 > n;
}

TEST_F(DxFilterExtract, EveryDocumentOfTheTableYieldsItsWords) {
    int checked = 0;
    for (const auto &s : dxtest::LoadSamples()) {
        if (s.word == "-") continue;
        Extraction r = plugin->Extract(Data(s.file));
        ASSERT_TRUE(r.opened) << s.file;
        ASSERT_EQ(r.openText, 0) << s.file;
        EXPECT_EQ(r.readError, 0) << s.file;
        std::string text = to_utf8(r.text);
        EXPECT_NE(text.find(s.word), std::string::npos) << s.file << ": " << text.substr(0, 400);
        EXPECT_TRUE(recognisable_as_utf16(r.text)) << s.file;
        ExpectStreamReleased(r);
        ++checked;
    }
    EXPECT_GT(checked, 55);
}

TEST_F(DxFilterExtract, TextComesInDocumentOrder) {
    for (const char *file : {"docs/en.docx", "docs/en.odt", "docs/en.rtf", "docs/en.epub",
                             "docs/en.pdf", "docs/en.pptx", "docs/en.odp"}) {
        std::string text = to_utf8(plugin->Extract(Data(file)).text);
        size_t fox = text.find("quick brown fox"), baker = text.find("Every morning");
        ASSERT_NE(fox, std::string::npos) << file << ": " << text;
        ASSERT_NE(baker, std::string::npos) << file << ": " << text;
        EXPECT_LT(fox, baker) << file;
    }
}

TEST_F(DxFilterExtract, WordProcessorFormatsGiveTheSameText) {
    // Headings, paragraphs and table cells each end a line; nothing else does.
    const std::string expected =
        "Лиса и пекарь\nЛиса и пекарь\n"
        "Быстрая коричневая лиса прыгает через ленивую собаку у реки.\n"
        "Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям.\n"
        "Лиса и пекарь\nпекарь\n"
        "Быстрая коричневая лиса прыгает через ленивую собаку у реки.\n"
        "Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям.\n";
    for (const char *file :
         {"docs/ru.docx", "docs/ru.odt", "docs/ru.epub", "docs/ru.rtf", "docs/ru-lo.rtf"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_EQ(to_utf8(r.text), expected) << file;
        EXPECT_TRUE(r.endRepeats) << file;
    }
}

TEST_F(DxFilterExtract, SlidesFollowThePresentationNotTheirFileNames) {
    std::string text = to_utf8(plugin->Extract(Data("docs/en-reordered.pptx")).text);
    size_t fox = text.find("quick brown fox"), baker = text.find("Every morning");
    ASSERT_NE(fox, std::string::npos) << text;
    ASSERT_NE(baker, std::string::npos) << text;
    EXPECT_LT(baker, fox);
}

TEST_F(DxFilterExtract, DeletedTextAndCommentsAreLeftOut) {
    std::string text = to_utf8(plugin->Extract(Data("docs/fr-tracked.odt")).text);
    EXPECT_NE(text.find("Une remarque visible."), std::string::npos) << text;
    EXPECT_EQ(text.find("supprimé"), std::string::npos) << text;
    EXPECT_EQ(text.find("commentaire"), std::string::npos) << text;
}

TEST_F(DxFilterExtract, SpreadsheetCellsEndWithLineFeeds) {
    for (const char *file : {"docs/ru.xlsx", "docs/ru.ods"}) {
        std::string text = to_utf8(plugin->Extract(Data(file)).text);
        EXPECT_NE(text.find("Лиса и пекарь\nпекарь\n"), std::string::npos) << file << ": " << text;
    }
}

TEST_F(DxFilterExtract, RtfEscapesFollowTheCodePage) {
    std::string cp1251 = to_utf8(plugin->Extract(Data("docs/ru-cp1251.rtf")).text);
    EXPECT_NE(cp1251.find("Каждое утро пекарь"), std::string::npos) << cp1251;
    std::string path =
        Temp("u.rtf",
             "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset136 MingLiU;}}"
             "{\\*\\ignored secret}{\\info{\\title hidden}}"
             "caf\\'e9 \\u36339?\\u-26984? {\\f1 \\'a4\\'a4\\'a4\\'e5}\\par "
             "{\\uc2\\u8364\\'80\\'80 euro} \\{braces\\}\\line emoji \\u-10179?\\u-8704?}");
    std::string text = to_utf8(plugin->Extract(path).text);
    EXPECT_EQ(text, "café 跳隘 中文\n€ euro {braces}\nemoji 😀\n");
    // Binary data may hold braces and backslashes that are not markup.
    std::string bin =
        to_utf8(plugin->Extract(Temp("bin.rtf", "{\\rtf1 before\\bin6 }}{\\x\\ after}")).text);
    EXPECT_EQ(bin, "before after\n");
}

TEST_F(DxFilterExtract, LongParagraphsAreWrappedAtWordBoundaries) {
    std::string body;
    for (int i = 0; i < 400; ++i) body += "word" + std::to_string(i) + " ";
    Extraction r = plugin->Extract(Temp("long.rtf", "{\\rtf1 " + body + "}"));
    std::string text = to_utf8(r.text);
    EXPECT_TRUE(recognisable_as_utf16(r.text));
    EXPECT_EQ(text.find("word1\nword2"), std::string::npos);
    size_t line = 0;
    for (char c : text) {
        line = c == '\n' ? 0 : line + 1;
        EXPECT_LE(line, 96u);
    }
    // Words survive the wrapping whole: only spaces became line feeds.
    std::string unwrapped = text;
    std::replace(unwrapped.begin(), unwrapped.end(), '\n', ' ');
    EXPECT_EQ(unwrapped, body);
}

TEST_F(DxFilterExtract, ChunksNeverSplitACharacter) {
    std::string body = "{\\rtf1 ";
    for (int i = 0; i < 30000; ++i) body += "\\u-10179?\\u-8704?";  // U+1F600 each
    Extraction r = plugin->Extract(Temp("emoji.rtf", body + "}"));
    EXPECT_GT(r.chunks, 2);
    EXPECT_FALSE(r.splitPair);
    EXPECT_EQ(r.text.substr(0, 2), u"\U0001F600");
}

TEST_F(DxFilterExtract, WhiteSpaceAndControlsAreTidied) {
    Extraction r = plugin->Extract(
        Temp("ws.rtf",
             "{\\rtf1 \\par\\par  one\\tab\\tab  two \\u7?\\u65279?three\\par\\par\\par four}"));
    EXPECT_EQ(to_utf8(r.text), "one two three\nfour\n");
}

TEST_F(DxFilterExtract, SpreadsheetNumbersAreLeftOut) {
    for (const char *file : {"docs/en.xlsx", "docs/en.ods"}) {
        std::string text = to_utf8(plugin->Extract(Data(file)).text);
        EXPECT_EQ(text.find("42"), std::string::npos) << file << ": " << text;
    }
}

TEST_F(DxFilterExtract, TextStopsAtTheCap) {
    std::string body = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i) body += "lorem ipsum ";
    body += "}";
    Extraction r = plugin->Extract(Temp("big.rtf", body));
    EXPECT_EQ(r.readError, 0);
    EXPECT_GT(r.text.size(), 500000u);
    EXPECT_LE(r.text.size(), 512u * 1024 + 1);
    EXPECT_GT(r.chunks, 1);
}

TEST_F(DxFilterExtract, ReadingTextBeforeOpeningItFails) {
    dxtest::FileStream fs(Data("docs/en.rtf"));
    void *doc = plugin->api.openDocument(plugin->handle, &fs.stream);
    ASSERT_NE(doc, nullptr);
    DXTextChunk chunk{nullptr, 0};
    EXPECT_NE(plugin->api.readText(plugin->handle, doc, &chunk, 0), 0);
    EXPECT_EQ(chunk.data, nullptr);
    plugin->api.closeDocument(plugin->handle, doc);
    EXPECT_EQ(fs.closes, 1);
}

TEST_F(DxFilterExtract, DocumentsWithoutExtractableTextAreRefused) {
    // Not documents with text: they open (the stream is readable) but their
    // text does not, and the stream is released again.
    for (const char *file : {"binary/blue.png", "binary/true.elf", "binary/en.txt.gz",
                             "binary/plain.zip", "binary/random.bin", "binary/de.xls",
                             "text/empty.txt", "text/fr.html", "bad/truncated.docx"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_TRUE(r.opened) << file;
        EXPECT_NE(r.openText, 0) << file;
        EXPECT_TRUE(r.text.empty()) << file;
        EXPECT_EQ(r.opens, r.closes) << file;
    }
}

TEST_F(DxFilterExtract, EncryptedDocumentsAndLegacyWordFailToOpenTheirText) {
    for (const char *file : {"bad/encrypted.docx", "bad/encrypted.pdf", "docs/de.doc"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_TRUE(r.opened) << file;
        EXPECT_NE(r.openText, 0) << file;
        EXPECT_TRUE(r.text.empty()) << file;
        ExpectStreamReleased(r);
    }
}

TEST_F(DxFilterExtract, DamagedDocumentsEndCleanly) {
    // Whatever part of them can be read may come out; nothing else may happen.
    for (const char *file : {"bad/truncated.pdf", "bad/corrupt.odt", "bad/unclosed.rtf",
                             "bad/deep.rtf", "bad/bomb.docx", "bad/entities.docx"}) {
        Extraction r = plugin->Extract(Data(file));
        EXPECT_TRUE(r.opened) << file;
        EXPECT_EQ(r.opens, r.closes) << file;
        EXPECT_LE(r.text.size(), 512u * 1024 + 1) << file;
    }
    std::string laughs = to_utf8(plugin->Extract(Data("bad/entities.docx")).text);
    EXPECT_EQ(laughs.find("ha ha"), std::string::npos) << "an entity was expanded";
}

TEST_F(DxFilterExtract, PdfWithoutTextLayerGivesEmptyText) {
    Extraction r = plugin->Extract(Data("bad/image-only.pdf"));
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.openText, 0);
    EXPECT_EQ(r.readError, 0);
    EXPECT_TRUE(r.text.empty()) << to_utf8(r.text);
}

TEST_F(DxFilterExtract, HugeDocumentsEndWithinBounds) {
    // 200 MB: an RTF header over a sparse file of zero bytes.
    std::string path = Temp("huge.rtf", "{\\rtf1 hello ");
    ASSERT_EQ(truncate(path.c_str(), 200l << 20), 0);
    Extraction r = plugin->Extract(path);
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(to_utf8(r.text).substr(0, 5), "hello");
    ExpectStreamReleased(r);
    std::remove(path.c_str());

    // 150 MB: a PDF followed by zero bytes, which hides its cross-reference
    // table and makes the reader scan the whole file.
    std::ifstream in(Data("docs/en.pdf"), std::ios::binary);
    std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    path = Temp("huge.pdf", pdf);
    ASSERT_EQ(truncate(path.c_str(), 150l << 20), 0);
    r = plugin->Extract(path);
    ExpectStreamReleased(r);
    std::string text = to_utf8(r.text);
    EXPECT_TRUE(text.empty() || text.find("neighbours") != std::string::npos) << text;
    std::remove(path.c_str());
}

TEST_F(DxFilterExtract, MutatedDocumentsNeverBreakThePlugin) {
    // Every document of the table, cut short and with bytes overwritten at
    // fixed places: identification and extraction must end, release the
    // stream and stay within the text bound.
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (const auto &s : dxtest::LoadSamples()) {
        if (s.file.rfind("docs/", 0) != 0) continue;
        std::ifstream in(Data(s.file), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty()) << s.file;
        for (int variant = 0; variant < 3; ++variant) {
            std::string mutated = bytes;
            if (variant == 0) {
                mutated.resize(mutated.size() * 2 / 3);
            } else {
                for (int k = 0; k < 8 * variant; ++k)
                    mutated[next() % mutated.size()] = static_cast<char>(next() >> 24);
            }
            std::string path = Temp("mutated", mutated);
            plugin->Format(path);
            Extraction r = plugin->Extract(path);
            EXPECT_EQ(r.opens, r.closes) << s.file << " variant " << variant;
            EXPECT_LE(r.text.size(), 512u * 1024 + 1) << s.file;
        }
    }
}

TEST_F(DxFilterExtract, StreamErrorsEndTheTextWithAnError) {
    struct Failing : dxtest::FileStream {
        using FileStream::FileStream;
    } fs(Data("docs/en.rtf"));
    void *doc = plugin->api.openDocument(plugin->handle, &fs.stream);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(plugin->api.openText(plugin->handle, doc), 0);
    fs.stream.read = [](DXStream *, void *, int) { return -1; };
    DXTextChunk chunk{nullptr, 0};
    int rc = plugin->api.readText(plugin->handle, doc, &chunk, 0);
    free(chunk.data);
    EXPECT_NE(rc, 0);
    plugin->api.closeDocument(plugin->handle, doc);
}

}  // namespace
