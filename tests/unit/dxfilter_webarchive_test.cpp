// Web archives through the filter plug-in (the compress module's archive
// reader) and their property lists read directly: the format rule, the pages
// of the fixtures (scripts/make_webarchive_fixtures.py) in the charset the
// archive names or the page declares, frames in their order, resources that
// are no page, and damaged, cut, cyclic, shared and mutated lists.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "dxfilter_test_support.h"
#include "filters/dxfilter/plist.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/webarchive_text.h"

namespace {

using namespace dxfilter_test;
using dxf::PropertyList;

// A binary property list put together object by object, each object given
// as its bytes (references of one byte).
std::string Bplist(const std::vector<std::string> &objects, uint64_t top = 0, int offsetSize = 1,
                   int refSize = 1) {
    std::string out = "bplist00";
    std::vector<size_t> offsets;
    for (const std::string &o : objects) {
        offsets.push_back(out.size());
        out += o;
    }
    const uint64_t table = out.size();
    for (size_t at : offsets)
        for (int i = offsetSize - 1; i >= 0; --i) out += static_cast<char>(at >> (8 * i));
    out += std::string(6, '\0');
    out += static_cast<char>(offsetSize);
    out += static_cast<char>(refSize);
    for (uint64_t v : {uint64_t{objects.size()}, top, table})
        for (int i = 7; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
    return out;
}

std::string Ascii(const std::string &s) {
    const std::string marker = s.size() < 15
                                   ? std::string(1, static_cast<char>(0x50 | s.size()))
                                   : std::string("\x5F\x10", 2) + static_cast<char>(s.size());
    return marker + s;
}
std::string Dict(std::initializer_list<std::pair<int, int>> pairs) {
    std::string out(1, static_cast<char>(0xD0 | pairs.size()));
    for (const auto &p : pairs) out += static_cast<char>(p.first);
    for (const auto &p : pairs) out += static_cast<char>(p.second);
    return out;
}
std::string Array(std::initializer_list<int> refs) {
    std::string out(1, static_cast<char>(0xA0 | refs.size()));
    for (int r : refs) out += static_cast<char>(r);
    return out;
}
std::string Raw(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) out += static_cast<char>(b);
    return out;
}

// The trailer of `list` with the byte at `from` of its 32 changed.
std::string Trailer(std::string list, size_t at, char value) {
    list[list.size() - 32 + at] = value;
    return list;
}

bool ReadBinary(const std::string &bytes, PropertyList &list, std::string &error,
                const dxf::PlistBounds &bounds = {}) {
    return list.ReadBinary(bytes, bounds, error);
}

TEST(PlistBinary, TheTrailerAndOffsetTableAreChecked) {
    const std::string good = Bplist({Raw({0x10, 7})});
    PropertyList list;
    std::string error;
    ASSERT_TRUE(ReadBinary(good, list, error)) << error;
    EXPECT_EQ(list.root().kind, PropertyList::Kind::kInteger);
    EXPECT_EQ(list.root().integer, 7);

    const struct {
        const char *what;
        std::string bytes;
    } refused[] = {
        {"empty", ""},
        {"magic only", "bplist00"},
        {"another version", "bplist01" + good.substr(8)},
        {"offset size 0", Trailer(good, 6, 0)},
        {"offset size 9", Trailer(good, 6, 9)},
        {"reference size 0", Trailer(good, 7, 0)},
        {"no objects", Trailer(good, 15, 0)},
        {"object count past the table", Trailer(good, 15, 5)},
        {"top object past the objects", Trailer(good, 23, 1)},
        {"table in the header", Trailer(good, 31, 4)},
        {"table in the trailer", Trailer(good, 31, static_cast<char>(good.size() - 20))},
        {"offset into the header", Bplist({Raw({0x10, 7})}).replace(10, 1, "\x03")},
        {"offset into the table", Bplist({Raw({0x10, 7})}).replace(10, 1, "\x0A")},
        {"cut", good.substr(0, good.size() - 1)},
    };
    for (const auto &c : refused) {
        PropertyList l;
        std::string e;
        EXPECT_FALSE(ReadBinary(c.bytes, l, e)) << c.what;
        EXPECT_FALSE(e.empty()) << c.what;
    }
}

TEST(PlistBinary, ScalarsAreDecoded) {
    const struct {
        const char *what;
        std::string object;
        PropertyList::Kind kind;
        int64_t integer;
        double real;
        std::string bytes;
    } cases[] = {
        {"null", Raw({0x00}), PropertyList::Kind::kNull, 0, 0, ""},
        {"true", Raw({0x09}), PropertyList::Kind::kBool, 0, 0, ""},
        {"int 1", Raw({0x10, 0xFF}), PropertyList::Kind::kInteger, 255, 0, ""},
        {"int 2", Raw({0x11, 0x01, 0x00}), PropertyList::Kind::kInteger, 256, 0, ""},
        {"int 4", Raw({0x12, 0, 1, 0, 0}), PropertyList::Kind::kInteger, 65536, 0, ""},
        {"int 8 negative", Raw({0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}),
         PropertyList::Kind::kInteger, -2, 0, ""},
        {"int 16: the low half", Raw({0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 5}),
         PropertyList::Kind::kInteger, 5, 0, ""},
        {"real 4", Raw({0x22, 0x3F, 0xC0, 0, 0}), PropertyList::Kind::kReal, 0, 1.5, ""},
        {"real 8", Raw({0x23, 0x40, 0x04, 0, 0, 0, 0, 0, 0}), PropertyList::Kind::kReal, 0, 2.5,
         ""},
        {"date", Raw({0x33, 0x40, 0x04, 0, 0, 0, 0, 0, 0}), PropertyList::Kind::kDate, 0, 2.5, ""},
        {"data", Raw({0x43, 1, 2, 3}), PropertyList::Kind::kData, 0, 0, "\x01\x02\x03"},
        {"ascii, long count", Ascii("sixteen letters!"), PropertyList::Kind::kString, 0, 0,
         "sixteen letters!"},
        {"8-bit bytes as Latin-1", Raw({0x52, 'a', 0xE9}), PropertyList::Kind::kString, 0, 0,
         "a\xC3\xA9"},
        {"UTF-16 with a pair", Raw({0x63, 0x04, 0x1C, 0xD8, 0x3D, 0xDE, 0x00}),
         PropertyList::Kind::kString, 0, 0, "\xD0\x9C\xF0\x9F\x98\x80"},
        {"UTF-16, a lone surrogate", Raw({0x62, 0xDC, 0x00, 0x00, 0x41}),
         PropertyList::Kind::kString, 0, 0, "\xEF\xBF\xBD\x41"},
        {"uid", Raw({0x81, 0x01, 0x02}), PropertyList::Kind::kUid, 258, 0, ""},
    };
    for (const auto &c : cases) {
        PropertyList list;
        std::string error;
        const std::string bytes = Bplist({c.object});  // the values point into it
        ASSERT_TRUE(ReadBinary(bytes, list, error)) << c.what << ": " << error;
        const PropertyList::Value &v = list.root();
        EXPECT_EQ(v.kind, c.kind) << c.what;
        EXPECT_EQ(v.integer, c.integer) << c.what;
        EXPECT_EQ(v.real, c.real) << c.what;
        EXPECT_EQ(std::string(v.bytes), c.bytes) << c.what;
        EXPECT_EQ(v.flag, c.object == Raw({0x09})) << c.what;
    }

    const struct {
        const char *what;
        std::string object;
    } refused[] = {
        {"unknown marker", Raw({0x70})},
        {"fill-like marker", Raw({0x01})},
        {"int of 32 bytes", Raw({0x15, 0})},
        {"int past the objects", Raw({0x13, 1, 2})},
        {"real of 2 bytes", Raw({0x21, 0, 0})},
        {"date of 4 bytes", Raw({0x32, 0, 0, 0, 0})},
        {"data past the objects", Raw({0x45, 1, 2})},
        {"utf-16 past the objects", Raw({0x62, 0, 0x41, 0})},
        {"count that is no integer", Raw({0x4F, 0x20, 0})},
        {"count of 16 bytes", Raw({0x4F, 0x14, 0, 0})},
        {"count past the objects", Raw({0x4F, 0x13, 0})},
        {"huge count", Raw({0x4F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"negative count", Raw({0x4F, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"uid of 9 bytes", Raw({0x88, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
    };
    for (const auto &c : refused) {
        PropertyList list;
        std::string error;
        EXPECT_FALSE(ReadBinary(Bplist({c.object}), list, error)) << c.what;
    }
}

TEST(PlistBinary, ContainersAreWalkedOnceWithoutLoops) {
    // A dictionary's keys come before its values in the file; Find pairs them.
    {
        PropertyList list;
        std::string error;
        const std::string bytes = Bplist(
            {Dict({{1, 3}, {2, 4}}), Ascii("one"), Ascii("two"), Raw({0x10, 1}), Array({1, 2, 1})});
        ASSERT_TRUE(ReadBinary(bytes, list, error)) << error;
        const PropertyList::Value *one = list.Find(list.root(), "one");
        const PropertyList::Value *two = list.Find(list.root(), "two");
        ASSERT_TRUE(one && two);
        EXPECT_EQ(one->integer, 1);
        ASSERT_EQ(two->kind, PropertyList::Kind::kArray);
        ASSERT_EQ(two->count, 3u);
        EXPECT_EQ(list.Item(*two, 0).bytes, "one");
        EXPECT_EQ(list.Item(*two, 2).bytes, "one");
        EXPECT_EQ(list.Find(list.root(), "three"), nullptr);
        EXPECT_EQ(list.Find(*one, "one"), nullptr);  // no dictionary
        EXPECT_EQ(list.size(), 5u);                  // "one" is one value
    }
    // 60 arrays, each holding the next twice: 2^60 paths, 61 values.
    {
        std::vector<std::string> objects;
        for (int i = 0; i < 60; ++i) objects.push_back(Array({i + 1, i + 1}));
        objects.push_back(Raw({0x09}));
        PropertyList list;
        std::string error;
        dxf::PlistBounds bounds;
        bounds.maxDepth = 64;
        ASSERT_TRUE(ReadBinary(Bplist(objects), list, error, bounds)) << error;
        EXPECT_EQ(list.size(), 61u);
    }

    const struct {
        const char *what;
        std::vector<std::string> objects;
    } refused[] = {
        {"an array holding itself", {Array({0})}},
        {"a loop through a dictionary", {Array({1}), Dict({{2, 0}}), Ascii("k")}},
        {"a loop below the top", {Array({1}), Array({2}), Array({1})}},
        {"a reference past the objects", {Array({1})}},
        {"a dictionary's value past the objects", {Dict({{1, 9}}), Ascii("k")}},
        {"a container past the objects", {Raw({0xA3, 0})}},
    };
    for (const auto &c : refused) {
        PropertyList list;
        std::string error;
        EXPECT_FALSE(ReadBinary(Bplist(c.objects), list, error)) << c.what;
    }

    // Bounds: depth, values and elements.
    std::vector<std::string> deep;
    for (int i = 0; i < 10; ++i) deep.push_back(Array({i + 1}));
    deep.push_back(Raw({0x08}));
    dxf::PlistBounds bounds;
    PropertyList list;
    std::string error;
    bounds.maxDepth = 10;
    EXPECT_TRUE(ReadBinary(Bplist(deep), list, error, bounds)) << error;
    bounds.maxDepth = 9;
    EXPECT_FALSE(ReadBinary(Bplist(deep), list, error, bounds));
    bounds = {};
    bounds.maxObjects = 10;
    EXPECT_FALSE(ReadBinary(Bplist(deep), list, error, bounds));
    bounds = {};
    bounds.maxItems = 9;
    EXPECT_FALSE(ReadBinary(Bplist(deep), list, error, bounds));
}

TEST(PlistXml, ValuesAndRefusals) {
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
        "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
        "version=\"1.0\">\n";
    PropertyList list;
    std::string error;
    ASSERT_TRUE(list.ReadXml(head + "<dict>\n <key>a&amp;b</key><string>x &lt; y</string>\n"
                                    " <key>n</key><integer>-42</integer><key>h</key>"
                                    "<integer>0x1F</integer>\n <key>r</key><real>2.5</real>"
                                    "<key>d</key><data>\n SGVs\n bG8=\n</data>"
                                    "<key>t</key><true/><key>list</key><array><false/>"
                                    "<date>2024-01-01T00:00:00Z</date><dict/></array>\n</dict>\n"
                                    "</plist>\n",
                             {}, error))
        << error;
    const PropertyList::Value &root = list.root();
    ASSERT_EQ(root.kind, PropertyList::Kind::kDict);
    EXPECT_EQ(root.count, 7u);
    ASSERT_TRUE(list.Find(root, "a&b"));
    EXPECT_EQ(list.Find(root, "a&b")->bytes, "x < y");
    EXPECT_EQ(list.Find(root, "n")->integer, -42);
    EXPECT_EQ(list.Find(root, "h")->integer, 31);
    EXPECT_EQ(list.Find(root, "r")->real, 2.5);
    EXPECT_EQ(list.Find(root, "d")->bytes, "Hello");
    EXPECT_TRUE(list.Find(root, "t")->flag);
    const PropertyList::Value *items = list.Find(root, "list");
    ASSERT_TRUE(items && items->kind == PropertyList::Kind::kArray && items->count == 3);
    EXPECT_EQ(list.Item(*items, 0).kind, PropertyList::Kind::kBool);
    EXPECT_EQ(list.Item(*items, 1).bytes, "2024-01-01T00:00:00Z");
    EXPECT_EQ(list.Item(*items, 2).kind, PropertyList::Kind::kDict);

    const struct {
        const char *what;
        std::string body;
    } refused[] = {
        {"not well formed", "<dict><key>a</key><string>b</dict></plist>"},
        {"cut", "<dict><key>a</key>"},
        {"a key without a value", "<dict><key>a</key></dict></plist>"},
        {"a value without a key", "<dict><string>a</string></dict></plist>"},
        {"a key in an array", "<array><key>a</key></array></plist>"},
        {"an unknown element", "<dict><key>a</key><blob/></dict></plist>"},
        {"two values", "<true/><false/></plist>"},
        {"no value", "</plist>"},
        {"text between values", "<array>words<true/></array></plist>"},
        {"an element in a string", "<string>a<b/></string></plist>"},
        {"a bad integer", "<integer>12a</integer></plist>"},
        {"an integer too large", "<integer>99999999999999999999</integer></plist>"},
        {"a bad real", "<real>two</real></plist>"},
        {"text in a boolean", "<true>yes</true></plist>"},
    };
    for (const auto &c : refused) {
        PropertyList l;
        std::string e;
        EXPECT_FALSE(l.ReadXml(head + c.body, {}, e)) << c.what;
        EXPECT_FALSE(e.empty()) << c.what;
    }
    PropertyList other;
    EXPECT_FALSE(other.ReadXml("<?xml version=\"1.0\"?><dict/>", {}, error));

    std::string deep = head;
    for (int i = 0; i < 100; ++i) deep += "<array>";
    for (int i = 0; i < 100; ++i) deep += "</array>";
    EXPECT_FALSE(other.ReadXml(deep + "</plist>", {}, error));
    dxf::PlistBounds bounds;
    bounds.maxDepth = 128;
    EXPECT_TRUE(other.ReadXml(deep + "</plist>", bounds, error)) << error;
}

// A web archive of one main resource, written by hand.
std::string MainOnly(const std::string &mime, const std::string &data, int dataRef = 5) {
    return Bplist({Dict({{1, 2}}), Ascii("WebMainResource"), Dict({{3, dataRef}, {4, 6}}),
                   Ascii("WebResourceData"), Ascii("WebResourceMIMEType"),
                   std::string(1, static_cast<char>(0x40 | data.size())) + data, Ascii(mime)});
}

TEST(WebArchiveReader, MainResourceTypesAndRoots) {
    const struct {
        const char *what;
        std::string bytes;
        bool ok;
        size_t pages;
        bool html;
    } cases[] = {
        {"html", MainOnly("text/html", "<p>a</p>"), true, 1, true},
        {"xhtml with a parameter", MainOnly(" Application/XHTML+XML; q=1", "<p>a</p>"), true, 1,
         true},
        {"plain text", MainOnly("text/plain", "a"), true, 1, false},
        {"css", MainOnly("text/css", "a"), true, 0, false},
        {"data that is a string", MainOnly("text/html", "<p>a</p>", 4), true, 0, false},
        {"no main resource", Bplist({Dict({{1, 2}}), Ascii("WebSubresources"), Array({})}), false,
         0, false},
        {"a main resource that is no dictionary",
         Bplist({Dict({{1, 2}}), Ascii("WebMainResource"), Ascii("x")}), false, 0, false},
        {"a root that is no dictionary", Bplist({Array({})}), false, 0, false},
    };
    for (const auto &c : cases) {
        dxf::WebArchive archive;
        EXPECT_EQ(archive.Read(c.bytes, {}), c.ok) << c.what << ": " << archive.error();
        ASSERT_EQ(archive.pages().size(), c.pages) << c.what;
        if (c.pages) {
            EXPECT_EQ(archive.pages()[0].html, c.html) << c.what;
        }
    }
}

TEST(WebArchiveReader, TheCharsetComesFromTheMarkTheNameThenThePage) {
    // The archive's text encoding name beats the page's meta element; a
    // byte-order mark beats both; a name ICU does not know, or ASCII,
    // leaves the page's declaration, else the bytes.
    const auto charset = [](const std::string &name, const std::string &page) {
        std::vector<std::string> objects = {Dict({{1, 2}}),
                                            Ascii("WebMainResource"),
                                            Dict({{3, 6}, {4, 7}, {5, 8}}),
                                            Ascii("WebResourceData"),
                                            Ascii("WebResourceMIMEType"),
                                            Ascii("WebResourceTextEncodingName"),
                                            std::string(1, static_cast<char>(0x4F)) + "\x10" +
                                                static_cast<char>(page.size()) + page,
                                            Ascii("text/html"),
                                            Ascii(name)};
        const std::string bytes = Bplist(objects);
        dxf::WebArchive archive;
        EXPECT_TRUE(archive.Read(bytes, {})) << archive.error();
        return archive.pages().empty() ? std::string("?") : archive.pages()[0].charset;
    };
    const std::string meta = "<meta charset=\"koi8-r\"><p>x</p>";
    EXPECT_EQ(charset("windows-1251", meta), "windows-1251");
    EXPECT_EQ(charset("Shift_JIS", "<p>x</p>"), "shift_jis");
    EXPECT_EQ(charset("x-unknown-charset", meta), "koi8-r");
    EXPECT_EQ(charset("us-ascii", meta), "koi8-r");
    EXPECT_EQ(charset("us-ascii", "<p>x</p>"), "");
    EXPECT_EQ(charset("windows-1251", "\xEF\xBB\xBF" + meta), "UTF-8");
}

class DxFilterWebArchive : public OleReaderTest {
  protected:
    DxFilterWebArchive() : OleReaderTest("a.webarchive") {}
    static std::string Sample(const std::string &name) { return Bytes("webarchive/" + name); }
};

TEST_F(DxFilterWebArchive, TheFormatRuleNeedsTheMainResourceKey) {
    // The key as another object (a data object of 15 bytes) does not count.
    std::string en = Sample("en.webarchive");
    for (size_t at = en.find("\x5F\x10\x0FWebMainResource"); at != std::string::npos;
         at = en.find("\x5F\x10\x0FWebMainResource"))
        en[at] = 0x4F;
    EXPECT_NE(plugin->Format(Temp("a.webarchive", en)), DX_FMT_WEBARCHIVE);
    EXPECT_FALSE(dxf::IsWebArchive("<?xml version=\"1.0\"?><dict><key>WebMainResource</key>"));
    EXPECT_TRUE(dxf::IsWebArchive("<plist><dict><key>WebMainResource</key>"));
}

TEST_F(DxFilterWebArchive, ThePageIsReadWithoutScriptsStylesAndSubresources) {
    const std::string en = Text(Sample("en.webarchive"));
    EXPECT_EQ(en.rfind("The lighthouse keeper\nThe lighthouse keeper\nEvery evening", 0), 0u) << en;
    EXPECT_NE(en.find("sends them with the supply boat."), std::string::npos) << en;
    for (const char *hidden : {"scriptword", "stylewordserif", "cssword", "adword", "PNG"})
        EXPECT_EQ(en.find(hidden), std::string::npos) << hidden << "\n" << en;
    // The XML form and the compressed archive read alike.
    EXPECT_EQ(Text(Sample("en.xml.webarchive")), en);
    EXPECT_EQ(Text(Sample("en.webarchive.gz")), en);
    const std::string plain = Text(Sample("plain.webarchive"));
    EXPECT_EQ(plain.rfind("Il guardiano del faro\nOgni sera", 0), 0u) << plain;
}

TEST_F(DxFilterWebArchive, PagesAreReadInTheCharsetTheArchiveNamesElseTheirOwn) {
    const struct {
        const char *file;
        const char *words;
    } cases[] = {
        {"ru.webarchive", "Каждый вечер смотритель поднимается по узкой лестнице"},
        {"ru-meta.xml.webarchive", "Каждый вечер смотритель поднимается по узкой лестнице"},
        {"ja.webarchive", "毎晩、灯台守は狭い階段を上り"},
        {"frames.webarchive", "Chaque soir, le gardien monte l'escalier étroit"},
    };
    for (const auto &c : cases)
        EXPECT_NE(Text(Sample(c.file)).find(c.words), std::string::npos) << c.file;
}

TEST_F(DxFilterWebArchive, FramesFollowThePageDepthFirst) {
    const std::string text = Text(Sample("frames.webarchive"));
    const char *order[] = {"Der Leuchtturmwärter", "Le gardien du phare", "El farero",
                           "Il guardiano del faro"};
    size_t last = 0;
    for (const char *title : order) {
        const size_t at = text.find(title);
        ASSERT_NE(at, std::string::npos) << title << "\n" << text;
        EXPECT_GE(at, last) << title << "\n" << text;
        last = at;
    }
    // Eight frames deep at most: the page and levels 2 to 9.
    const std::string deep = Text(Sample("bad/deep.webarchive"));
    EXPECT_NE(deep.find("Level 9 of"), std::string::npos) << deep;
    EXPECT_EQ(deep.find("Level 10 of"), std::string::npos) << deep;
}

TEST_F(DxFilterWebArchive, ArchivesWithoutPagesAndDamagedOnes) {
    Extraction image = Run(Sample("image.webarchive"));
    EXPECT_TRUE(image.opened && image.openText == 0 && image.readError == 0);
    EXPECT_TRUE(image.text.empty());
    for (const char *bad : {"bad/cut.webarchive", "bad/cut.xml.webarchive", "bad/offset.webarchive",
                            "bad/reference.webarchive", "bad/cyclic.webarchive"})
        ExpectRefused(Sample(bad), bad);
    // One archive held by the frames at every level, 2^25 paths: the
    // visits are bounded, the page comes first.
    const auto start = std::chrono::steady_clock::now();
    const std::string shared = Text(Sample("bad/shared.webarchive"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(shared.rfind("Der Leuchtturmwärter", 0), 0u) << shared.substr(0, 200);
}

TEST_F(DxFilterWebArchive, MutatedArchivesNeverCrash) {
    Mutator m(20261208);
    for (const char *file : {"en.webarchive", "en.xml.webarchive", "frames.webarchive"}) {
        const std::string bytes = Sample(file);
        for (int i = 0; i < 150; ++i) {
            const std::string mutated = i % 3 == 0 ? m.Cut(bytes) : m.Overwrite(bytes, 1 + i % 8);
            Extraction r = Run(mutated);
            EXPECT_LE(r.text.size(), kTextCap) << file;
            EXPECT_EQ(r.opens, r.closes) << file;
        }
    }
}

}  // namespace
