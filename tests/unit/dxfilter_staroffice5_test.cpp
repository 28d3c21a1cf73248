// StarOffice 3 to 5 documents through the filter plug-in
// (dxfilter_staroffice.so, libstaroffice): the compound file rule (the root
// stream that names the application) and what happens to a compound file
// that names one but that libstaroffice does not read. The text of real
// documents is measured in bench/extraction, on libstaroffice's own test
// documents.
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

class DxFilterStarOffice5 : public OleReaderTest {
  protected:
    DxFilterStarOffice5() : OleReaderTest("d.sdw") {}
    int FormatOf(const std::string &bytes) { return plugin->Format(Temp("f.bin", bytes)); }
};

const auto kPadded = [](std::string_view) { return Placement::kPadded; };

TEST_F(DxFilterStarOffice5, CompoundFilesAreToldByTheirDocumentStream) {
    const struct {
        dxfilter_ole::Streams streams;
        int format;
        const char *what;
    } cases[] = {
        {{{"CompObj", "x"}, {"SfxDocumentInfo", "x"}, {"StarWriterDocument", "x"}},
         DX_FMT_STARWRITER,
         "StarWriter"},
        {{{"SfxDocumentInfo", "x"}, {"StarCalcDocument", "x"}}, DX_FMT_STARCALC, "StarCalc"},
        {{{"VCPool", "x"}, {"StarDrawDocument3", "x"}}, DX_FMT_STARDRAW, "StarDraw 4 and 5"},
        {{{"StarDrawDocument", "x"}}, DX_FMT_STARDRAW, "StarDraw 3.0"},
        {{{"stardrawdocument3", "x"}}, DX_FMT_STARDRAW, "the name in any case"},
        // The application's other streams alone tell nothing.
        {{{"CompObj", "x"}, {"SfxDocumentInfo", "x"}, {"SfxStyleSheets", "x"}},
         DX_FMT_OLE,
         "no document stream"},
        {{{"StarImageDocument", "x"}}, DX_FMT_OLE, "StarImage"},
        // The Office and Visio streams win; among StarOffice's, the writer.
        {{{"StarWriterDocument", "x"}, {"WordDocument", "x"}}, DX_FMT_DOC, "Word"},
        {{{"StarCalcDocument", "x"}, {"VisioDocument", "x"}}, DX_FMT_VISIO, "Visio"},
        {{{"StarDrawDocument3", "x"}, {"StarWriterDocument", "x"}},
         DX_FMT_STARWRITER,
         "writer and draw"},
        {{{"StarDrawDocument3", "x"}, {"StarCalcDocument", "x"}}, DX_FMT_STARCALC, "calc and draw"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatOf(BuildCompoundFile(c.streams, kPadded)), c.format) << c.what;
}

TEST_F(DxFilterStarOffice5, StreamsLibstarofficeDoesNotReadGiveNoText) {
    // A StarCalc or StarDraw stream without the marks of a plain stream
    // (taken for encrypted) is refused at open; libstaroffice takes a
    // StarDraw stream of its mark alone for a drawing without text. A
    // StarWriter stream whose header it cannot read is refused, or read
    // as a text without paragraphs: in either case no text comes.
    const struct {
        dxfilter_ole::Streams streams;
        int opens;  // 1: opens, 0: refused, -1: either
        const char *what;
    } cases[] = {
        {{{"StarCalcDocument", std::string(600, '\0')}}, 0, "calc stream of zeros"},
        {{{"StarCalcDocument", "-A"}}, 0, "calc stream without its mark"},
        {{{"StarDrawDocument3", "DRW"}}, 0, "draw stream without its mark"},
        {{{"StarDrawDocument3", "Dr"}}, 1, "draw stream of its mark alone"},
        {{{"StarWriterDocument", std::string(600, 'x')}}, -1, "writer stream of noise"},
        {{{"SfxDocumentInfo", std::string(600, '\0')}, {"StarWriterDocument", ""}},
         -1,
         "empty writer stream"},
    };
    for (const auto &c : cases) {
        Extraction r = Run(BuildCompoundFile(c.streams, kPadded));
        EXPECT_TRUE(r.opened && r.opens == 1 && r.closes == 1) << c.what;
        EXPECT_TRUE(r.text.empty()) << c.what << ": " << r.utf8();
        if (c.opens >= 0) {
            EXPECT_EQ(r.openText == 0, c.opens == 1) << c.what;
        }
    }
}

}  // namespace
