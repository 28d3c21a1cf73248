// Microsoft Publisher documents through the filter plug-in
// (dxfilter_mspub.so, libmspub): the compound file rule (a `Contents` stream
// beside a `Quill` storage, or one that opens with Publisher's signature),
// the text of the fixtures (scripts/make_publisher_fixtures.py) and what
// happens to cut, hostile and refused publications.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;
using dxfilter_ole::BuildCompoundFile;
using dxfilter_ole::Placement;

class DxFilterPublisher : public OleReaderTest {
  protected:
    DxFilterPublisher() : OleReaderTest("d.pub") {}
    static std::string Sample(const std::string &name) { return Bytes("publisher/" + name); }
};

// The fixtures as the sink gives them (lines wrapped at a space, a tab as a
// space): each text box's paragraphs and line breaks, page by page.
constexpr std::string_view kEnglish2000 =
    "Harbour Street Community Garden\n"
    "Spring newsletter for neighbours and friends\n"
    "Issue 12\n"
    "This year the volunteers planted tomatoes, beans and sunflowers along the\n"
    "old fence.\n"
    "Bring your own gloves: the tool shed opens at nine on Saturday mornings.\n"
    "The harvest supper will be held in the church hall, and everyone who helped\n"
    "with the weeding is warmly invited.\n";
// The same in the later layout, whose master page's box libmspub draws
// before each page's: read once.
const std::string kEnglish = "Printed on recycled paper\n" + std::string(kEnglish2000);
constexpr std::string_view kKorean =
    "우리 동네 도서관 소식\n"
    "이번 달에는 어린이를 위한 그림책 읽기 모임이 토요일 오전에 열립니다.\n"
    "새로 들어온 책은 입구 옆 책장에서 찾을 수 있습니다.\n"
    "도서관은 매주 월요일에 쉬며, 다른 날에는 아침 아홉 시부터 저녁 여섯 시까지 문을 엽니다.\n";
// The masthead stands on both pages at the same place: read once.
constexpr std::string_view kGerman =
    "Gemeindeblatt Unterwössen\n"
    "Im Frühjahr hat der Gemeinderat beschlossen, die Brücke über den Bach neu\n"
    "zu bauen.\n"
    "Die Arbeiten beginnen im Mai und dauern voraussichtlich bis zum Herbst.\n"
    "Während der Bauzeit fährt der Schulbus über die Umleitung am Sportplatz.\n"
    "Für Fragen steht das Bürgerbüro jeden Donnerstag zur Verfügung.\n";

TEST_F(DxFilterPublisher, CompoundFilesAreToldByTheirContentsStream) {
    const std::string publisher97 = std::string("\xE8\xAC\x22\x00", 4) + "rest";
    const auto padded = [](std::string_view) { return Placement::kPadded; };
    const auto mini = [](std::string_view) { return Placement::kMini; };
    const struct {
        dxfilter_ole::Streams streams;
        bool inMini;
        int format;
        const char *what;
    } cases[] = {
        {{{"Contents", publisher97}}, false, DX_FMT_PUBLISHER, "Publisher's signature"},
        {{{"CONTENTS", publisher97}}, false, DX_FMT_PUBLISHER, "the name in any case"},
        // The head is read only from a stream's own sectors, as Works'.
        {{{"Contents", publisher97}}, true, DX_FMT_OLE, "in the mini stream"},
        {{{"Contents", "\xE8 other"}}, false, DX_FMT_OLE, "another signature"},
        {{{"Contents", "CHNKWKS"}}, false, DX_FMT_WORKS, "a Works document's"},
        // The other kinds' streams win.
        {{{"Contents", publisher97}, {"WordDocument", "x"}}, false, DX_FMT_DOC, "Word"},
        {{{"Contents", publisher97}, {"MN0", "x"}}, false, DX_FMT_WORKS, "Works 4"},
        {{{"Contents", publisher97}, {"VisioDocument", "x"}}, false, DX_FMT_VISIO, "Visio"},
        {{{"Contents", publisher97}, {"FileHeader", "x"}, {"DocInfo", "x"}},
         false,
         DX_FMT_HWP,
         "Hangul"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatOf(BuildCompoundFile(c.streams, c.inMini ? mini : padded)), c.format)
            << c.what;
}

TEST_F(DxFilterPublisher, PublicationsGiveTheirTextBoxesPageByPage) {
    const struct {
        const char *name;
        std::string text;
    } samples[] = {
        // The layout of Publisher 2002 and later (an Escher drawing).
        {"en.pub", kEnglish},
        {"ko.pub", std::string(kKorean)},
        // The layout of Publisher 98 and 2000, whose master page libmspub
        // does not draw.
        {"de.pub", std::string(kGerman)},
        {"en-2000.pub", std::string(kEnglish2000)},
    };
    for (const auto &s : samples) EXPECT_EQ(Text(Sample(s.name)), s.text) << s.name;
}

TEST_F(DxFilterPublisher, DamagedAndRefusedPublications) {
    // A Quill stream cut inside its text, a story table of 2^31 units and
    // a chunk table of 65535 chunks, Publisher 97's signature without its
    // pages: libmspub gives up, with no text.
    const auto padded = [](std::string_view) { return Placement::kPadded; };
    const struct {
        std::string bytes;
        const char *what;
    } damaged[] = {
        {Sample("bad/cut.pub"), "cut"},
        {Sample("bad/huge.pub"), "huge"},
        {BuildCompoundFile({{"Contents", std::string("\xE8\xAC\x22\x00", 4)}}, padded),
         "Publisher 97 signature alone"},
    };
    for (const auto &d : damaged) {
        Extraction r = Run(d.bytes);
        EXPECT_TRUE(r.opened && r.openText == 0) << d.what;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << d.what;
        EXPECT_TRUE(r.text.empty()) << d.what << ": " << r.utf8();
    }
    // The Publisher 2002 signature without the Escher stream libmspub needs.
    ExpectRefused(Sample("bad/escher.pub"), "no Escher stream");
}

TEST_F(DxFilterPublisher, ManyTextBoxesStopAtTheTextCap) {
    // 2000 boxes of one 2 KB story, each at its own place.
    Extraction r = Run(Sample("bad/boxes.pub"));
    ExpectFilledToTheCap(r);
}

TEST_F(DxFilterPublisher, CutAndMutatedPublicationsAreBounded) {
    Mutator m(0x50554231);
    for (const char *name : {"en.pub", "de.pub"}) {
        const std::string bytes = Sample(name);
        ExpectCutsBounded(bytes, 97, 2048, name);
        // Past the compound file's header, where the streams are.
        ExpectDamageBounded(m, bytes, {.rounds = 80, .most = 8, .from = 512, .cutEvery = 9}, 2048,
                            name);
    }
}

}  // namespace
