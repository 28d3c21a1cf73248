// StarOffice 3 to 5 documents through the filter plug-in
// (dxfilter_staroffice.so, libstaroffice): the compound file rule (the root
// stream that names the application) and what happens to a compound file
// that names one but that libstaroffice does not read, and the text of small
// generated documents. The text of real documents is measured in
// bench/extraction, on libstaroffice's own test documents.
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
    // (taken for encrypted) is refused at open, as is a StarWriter stream
    // whose header word has the encryption flag (0x7878 of the noise);
    // libstaroffice takes a StarDraw stream of its mark alone and an empty
    // StarWriter stream for documents without text.
    const std::string zeros(600, '\0'), noise(600, 'x');  // the streams hold views
    const struct {
        dxfilter_ole::Streams streams;
        bool opens;
        const char *what;
    } cases[] = {
        {{{"StarCalcDocument", zeros}}, false, "calc stream of zeros"},
        {{{"StarCalcDocument", "-A"}}, false, "calc stream without its mark"},
        {{{"StarDrawDocument3", "DRW"}}, false, "draw stream without its mark"},
        {{{"StarDrawDocument3", "Dr"}}, true, "draw stream of its mark alone"},
        {{{"StarWriterDocument", noise}}, false, "writer stream of noise"},
        {{{"SfxDocumentInfo", zeros}, {"StarWriterDocument", ""}}, true, "empty writer stream"},
    };
    for (const auto &c : cases) {
        Extraction r = Run(BuildCompoundFile(c.streams, kPadded));
        EXPECT_TRUE(r.opened && r.opens == 1 && r.closes == 1) << c.what;
        EXPECT_TRUE(r.text.empty()) << c.what << ": " << r.utf8();
        EXPECT_EQ(r.openText == 0, c.opens) << c.what;
    }
}

TEST_F(DxFilterStarOffice5, TheTextOfStarWriterAndStarCalcDocuments) {
    // Small documents of each kind, in two code pages and both StarWriter
    // record layouts, written by make_staroffice_fixtures.py (the
    // staroffice5 fuzz target's seeds); locked ones give no text. A sheet's
    // cells come row by row; the German tab folds into the line wrap, as any
    // white space after 72 units does (the French line).
    const struct {
        const char *file;
        const char *text;
    } cases[] = {
        {"de.sdw",
         "Bericht über den Gemeindegarten\n"
         "Im Frühjahr haben die Nachbarn neue Beete am Rand des Spielplatzes angelegt.\n"
         "Die Kinder gießen jeden Abend die Bohnen und zählen die ersten Blüten.\n"
         "Im Herbst wollen wir die Ernte gemeinsam auf dem Marktplatz verteilen.\n"
         "Im Frühjahr haben die Nachbarn neue Beete am Rand des Spielplatzes angelegt.\n"},
        {"fr-sw3.sdw",
         "Lettre aux habitants du quartier\n"
         "La bibliothèque municipale ouvrira ses portes le samedi matin dès neuf heures.\n"
         "Les enfants pourront emprunter trois livres et participer à l'atelier de\n"
         "dessin.\n"
         "Merci de rapporter les ouvrages prêtés avant la fin du mois.\n"},
        {"ru.sdw",
         "Поездка на озеро\n"
         "В субботу мы поедем на автобусе к большому озеру за городом.\n"
         "Возьмите с собой тёплую куртку, потому что вечером там бывает холодно.\n"
         "После обеда учитель покажет детям старую мельницу на берегу.\n"},
        {"es.sdc",
         "La cosecha de aceitunas fue mejor que la del año pasado gracias a las lluvias.\n"
         "Año\n"
         "2004\n"
         "Los socios decidieron comprar una prensa nueva para el molino del pueblo.\n"
         "1250.5\n"
         "El aceite se venderá en la feria regional durante el mes de diciembre.\n"},
        {"locked.sdw", ""},
        {"locked.sdc", ""},
    };
    for (const auto &c : cases) {
        Extraction r =
            Run(glotta_test::ReadFile(GLOTTA_TEST_DATA "/fuzz/staroffice5/" + std::string(c.file)));
        EXPECT_EQ(r.utf8(), c.text) << c.file;
    }
}

}  // namespace
