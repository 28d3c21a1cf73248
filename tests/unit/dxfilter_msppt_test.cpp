// PowerPoint 95 and 97-2003 presentations through the filter plug-in
// (dxfilter_msdoc.so): the text of the presentations of the fixtures, and of
// record trees built here to reach the text atoms in every place they may
// be, the parts whose text is left out, encryption and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;
using namespace dxfilter_ole;
using pipeline_test::Utf16;

std::string Header(uint16_t type, size_t length, uint16_t instance, bool container) {
    std::string h;
    put16(h, 0, static_cast<uint16_t>((instance << 4) | (container ? 0xF : 0)));
    put16(h, 2, type), put32(h, 4, static_cast<uint32_t>(length));
    return h;
}
std::string Atom(uint16_t type, const std::string &body, uint16_t instance = 0) {
    return Header(type, body.size(), instance, false) + body;
}
std::string Container(uint16_t type, const std::string &children, uint16_t instance = 0) {
    return Header(type, children.size(), instance, true) + children;
}
std::string Chars(std::u16string_view text) {
    return Atom(0x0FA0, Utf16(text));
}
std::string Bytes8(const std::string &text) {
    return Atom(0x0FA8, text);
}

// The current user stream: its atom's header, size, token and the offset
// of the last user edit.
std::string CurrentUser(uint32_t token = 0xE391C05F, uint32_t edit = 0) {
    std::string body;
    put32(body, 0, 0x14), put32(body, 4, token), put32(body, 8, edit);
    body.resize(0x14 + 8);
    return Atom(0x0FF6, body);
}

std::string File(const std::string &stream, const std::string &user = CurrentUser()) {
    return CompoundFile({{"PowerPoint Document", stream}, {"Current User", user}});
}

// A slide whose drawing holds one text box with `text` (text atoms).
std::string Slide(const std::string &text) {
    return Container(
        0x03EE,
        Container(
            0x040C,
            Container(0xF002, Container(0xF003, Container(0xF004, Container(0xF00D, text))))));
}

// A presentation with text in the slide list, in a slide's text box, and in
// the places whose text is left out.
std::string Presentation() {
    const std::string slideList =
        Container(0x0FF0,
                  Atom(0x03F3, std::string(20, '\0')) + Atom(0x0F9F, std::string(4, '\0')) +
                      Chars(u"Заголовок\rпервая строка\x0Bвторая") +
                      Atom(0x0FA1, std::string(10, '\0')) + Bytes8("caf\xE9 cr\xE8me\r"),
                  0);
    const std::string document = Container(
        0x03E8, Atom(0x03E9, std::string(40, '\0')) + slideList +
                    Container(0x0FF0, Chars(u"Click to edit Master title style"), 1) +
                    Container(0x0FF0, Chars(u"notes in the list"), 2) +
                    Atom(0x0FBA, Utf16(u"Template name")) +
                    Container(0x03F2, Atom(0x0FB7, Utf16(u"Tahoma") + std::string(58, '\0'))));
    const std::string slide = Slide(Chars(u"в рамке 😀\tbox"));
    return document + Container(0x03F8, Chars(u"master prompt")) + slide +
           Container(0x03F0, Chars(u"speaker notes")) + Container(0x0FC9, Chars(u"handout")) +
           Atom(0x0FF5, std::string(28, '\0'));
}
const std::string kPresentationText =
    "Заголовок\nпервая строка\nвторая\ncafé crème\nв рамке 😀 box\n";

// A presentation saved again and again: `stream` and, appended to it, one
// user edit per directory, each with its persist directory (persist id,
// offset in `stream`) and pointing back at the one before. The current user
// names the last edit (`edit`); the document has persist id 1.
std::string EditedStream(std::string stream,
                         const std::vector<std::vector<std::pair<uint32_t, uint32_t>>> &directories,
                         uint32_t &edit) {
    edit = 0;
    for (const auto &directory : directories) {
        std::string entries;
        for (auto [id, offset] : directory)
            put32(entries, entries.size(), id | (1u << 20)), put32(entries, entries.size(), offset);
        const auto at = static_cast<uint32_t>(stream.size());
        stream += Atom(0x1772, entries);
        std::string body(28, '\0');
        put32(body, 8, edit), put32(body, 12, at), put32(body, 16, 1);
        edit = static_cast<uint32_t>(stream.size());
        stream += Atom(0x0FF5, body);
    }
    return stream;
}
std::string Edited(const std::string &stream,
                   const std::vector<std::vector<std::pair<uint32_t, uint32_t>>> &directories) {
    uint32_t edit = 0;
    const std::string edited = EditedStream(stream, directories, edit);
    return File(edited, CurrentUser(0xE391C05F, edit));
}

// A shape of a notes page: its placeholder of kind `placement` (none when
// 0), in the atom later versions write for headers and footers when
// `later`, its text box with `text`.
std::string NotesShape(uint8_t placement, std::u16string_view text, bool later = false) {
    std::string placeholder;
    if (placement != 0 && later) {
        placeholder = Container(0xF011, Atom(0x0420, std::string(1, static_cast<char>(placement))));
    } else if (placement != 0) {
        std::string body(8, '\0');
        body[4] = static_cast<char>(placement);
        placeholder = Container(0xF011, Atom(0x0BC3, body));
    }
    return Container(0xF004,
                     Atom(0xF00A, std::string(8, '\0')) + placeholder +
                         Container(0xF00D, Atom(0x0F9F, std::string(4, '\0')) + Chars(text)));
}
// A notes page: its atom naming the slide `slideId` (a master id, from
// 0x80000000 on, in the notes master's, as PowerPoint writes it), its
// drawing with `shapes`.
std::string NotesPage(uint32_t slideId, const std::string &shapes) {
    std::string atom(8, '\0');
    put32(atom, 0, slideId);
    return Container(0x03F0, Atom(0x03F1, atom) +
                                 Container(0x040C, Container(0xF002, Container(0xF003, shapes))));
}
// A slide whose atom names the notes id `notesId`, with a text box of `text`.
std::string SlideWithNotes(uint32_t notesId, std::u16string_view text) {
    std::string atom(24, '\0');
    put32(atom, 16, notesId);
    return Container(0x03EE, Atom(0x03EF, atom) + Slide(Chars(text)).substr(8));
}
// An entry of the notes list: the persist id of a notes page, its notes id.
std::string NotesPersist(uint32_t persistId, uint32_t notesId) {
    std::string body(20, '\0');
    put32(body, 0, persistId), put32(body, 12, notesId);
    return Atom(0x03F3, body);
}

// PowerPoint 95: 16-byte headers (type, 0xFFFF for a container, length,
// the tag of the parent's field the record fills).
std::string Record95(uint32_t type, const std::string &body, uint32_t tag, bool container) {
    std::string h;
    put32(h, 0, type), put32(h, 4, container ? 0xFFFF : 0);
    put32(h, 8, static_cast<uint32_t>(body.size())), put32(h, 12, tag);
    return h + body;
}
std::string Atom95(uint32_t type, const std::string &body, uint32_t tag = 0) {
    return Record95(type, body, tag, false);
}
std::string Container95(uint32_t type, const std::string &children, uint32_t tag = 0) {
    return Record95(type, children, tag, true);
}
// A shape with a text box of 8-bit `text`, and the runs of its styles.
std::string Shape95(const std::string &text) {
    std::string runs;
    put32(runs, 0, static_cast<uint32_t>(text.size()));
    const std::string box = Container95(
        0x0FE0, Atom95(0x07EE, text, 0x35) + Container95(0x07EC, Atom95(0x07EE, runs, 0x2F), 0x2F));
    return Container95(
        0x0BC2,
        Atom95(0x0BC3, std::string(8, '\0')) + Container95(0x0FA1, Container95(0x0FA2, box), 0x1E),
        0x13);
}
// A slide: its atom, its notes, its shapes.
std::string Slide95(const std::string &shapes, const std::string &notes = "") {
    return Container95(0x03EE,
                       Atom95(0x03EF, std::string(8, '\0')) +
                           Container95(0x03F0, Container95(0x0BB8, notes, 0x14), 0x25) +
                           Container95(0x0BB8, shapes, 0x14),
                       0x10);
}
// A presentation: the slides in their list, the masters in theirs, the notes
// master and the handout, and names (font records, line-breaking strings
// that look like containers).
std::string Presentation95(const std::string &slide1, const std::string &slide2) {
    const std::string environment = Container95(
        0x03F2,
        Container95(0x07D5, Container95(0x0FB6, Atom95(0x0FB7, std::string(28, '\0') + "Arial"))) +
            Container95(0x0FC8, Record95(0x0FBA, "\x81\x41\x81\x42", 4, true), 6),
        0x15);
    const std::string slides =
        Container95(0x07D0, Atom95(0x07D1, std::string(4, '\0')) + slide1 + slide2, 0x0A);
    const std::string masters = Container95(
        0x07D0,
        Container95(0x03F8, Container95(0x0BB8, Shape95("Click to edit Master title style"), 0x14),
                    0x10) +
            Slide95(Shape95("title master")),
        0x0B);
    const std::string document = Container95(
        0x03E8, Atom95(0x03E9, std::string(44, '\0')) + environment + slides + masters +
                    Container95(0x03F0, Container95(0x0BB8, Shape95("notes master"), 0x14), 0x27) +
                    Container95(0x0FC9, Container95(0x0BB8, Shape95("handout"), 0x14), 0x1B) +
                    Container95(0x07D0, Atom95(0x07D1, std::string(4, '\0')), 0x0C));
    return Container95(0x0003, document + Atom95(0x000A, std::string(8, '\0')));
}
std::string Presentation95() {
    return Presentation95(Slide95(Shape95("Titel\rcaf\xE9 \x93"
                                          "cr\xE8me\x94\x0B\x85"),
                                  Shape95("speaker notes")),
                          Slide95(Shape95("second\tslide") + Shape95("box two")));
}
const std::string kPresentation95Text = "Titel\ncafé “crème”\n…\nsecond slide\nbox two\n";

// The summary information with its code page, as a property set holds it.
std::string Summary(uint16_t codePage) {
    std::string s;
    put16(s, 0, 0xFFFE), put32(s, 24, 1), put32(s, 44, 48);  // one section, at 48
    put32(s, 48, 8 + 16 + 8 + 8), put32(s, 52, 2);           // its size, two properties
    put32(s, 56, 4), put32(s, 60, 24), put32(s, 64, 1), put32(s, 68, 32);  // ids, offsets
    put32(s, 48 + 24, 30), put32(s, 48 + 28, 0);  // property 4: a string, empty
    put32(s, 48 + 32, 2), put16(s, 48 + 36, codePage), put16(s, 48 + 38, 0);
    return s;
}
// A PowerPoint 95 file: its stream, the current user's name, the summary.
std::string File95(const std::string &stream, const std::string &summary = "") {
    static const std::string user = std::string("\x0B\0\0\0", 4) + "Daniel Noll";
    if (summary.empty())
        return CompoundFile({{"PowerPoint Document", stream}, {"Current User", user}});
    return CompoundFile({{"PowerPoint Document", stream},
                         {"Current User", user},
                         {"\005SummaryInformation", summary}});
}

class DxFilterPowerPoint : public OleReaderTest {
  protected:
    DxFilterPowerPoint() : OleReaderTest("t.ppt") {}
};

}  // namespace

TEST_F(DxFilterPowerPoint, PresentationsReadAsTheirPptxTwins) {
    // Two presentations of the fixtures (a Latin one in 8-bit text atoms, a
    // CJK one in UTF-16 ones) ...
    for (const char *lang : {"en", "zh"}) {
        std::string base = std::string("docs/") + lang;
        std::string text = plugin->Extract(Data(base + ".ppt")).utf8();
        EXPECT_EQ(text, plugin->Extract(Data(base + ".pptx")).utf8()) << lang;
        // The masters' prompts are not the presentation's text.
        EXPECT_EQ(text.find("Click to edit"), std::string::npos) << lang;
    }
    // ... and, for the other languages, the twin's lines in one slide's text
    // atom, a paragraph break between lines.
    for (const char *lang : {"de", "es", "fr", "ru"}) {
        Extraction twin = plugin->Extract(Data(std::string("docs/") + lang + ".pptx"));
        ASSERT_FALSE(twin.text.empty()) << lang;
        std::u16string lines = twin.text.substr(0, twin.text.size() - 1);
        std::replace(lines.begin(), lines.end(), u'\n', u'\r');
        EXPECT_EQ(Text(File(Slide(Chars(lines)))), twin.utf8()) << lang;
    }
}

TEST_F(DxFilterPowerPoint, PresentationsOfOthersGiveTheirSpeakerNotes) {
    // Apache POI's samples: a presentation whose slides' text is all in the
    // slide list (their placeholders'), so that the notes pages follow it;
    // and a PPTX one, each slide followed by its notes.
    EXPECT_EQ(plugin->Extract(Data("ppt/basic_test_ppt_file.ppt")).utf8(),
              "This is a test title\nThis is a test subtitle\nThis is on page 1\n"
              "This is the title on page 2\nThis is page two\nIt has several blocks of text\n"
              "None of them have formatting\nThese are the notes for page 1\n"
              "These are the notes on page two, again lacking formatting\n");
    EXPECT_EQ(plugin->Extract(Data("ppt/SampleShow.pptx")).utf8(),
              "Title of the first slide\nSubtitle of the first slide\n"
              "This bit is in italic green\nI am the notes of the first slide\n"
              "This is the second slide\nIt has bullet points on it\nThey’re fun, aren’t they?\n"
              "Especially in a different font like Arial Black at 16 point!\n"
              "These are the notes of the 2nd slide\nTHIS LINE IS BOLD\n");
}

TEST_F(DxFilterPowerPoint, SlideTextInStreamOrderWithoutMastersNotesOrNames) {
    EXPECT_EQ(plugin->Format(Temp("p.ppt", File(Presentation()))), DX_FMT_PPT);
    EXPECT_EQ(Text(File(Presentation())), kPresentationText);
    // The current user stream is not needed; a short tail after the last
    // record is ignored.
    EXPECT_EQ(Text(CompoundFile({{"PowerPoint Document", Presentation() + "\0\0\0"}}, {}, true)),
              kPresentationText);
}

TEST_F(DxFilterPowerPoint, OnlyTheObjectsOfThePersistDirectoriesAreRead) {
    // Bytes that are no record before the first object, a slide saved again
    // (its first copy no longer named by any directory), and the document
    // container after the slides: the document's text comes first, then the
    // live slide's, once.
    const std::string junk(4096 - 12, '\0'), filler = std::string(12, '\xFF');
    const std::string oldSlide = Slide(Chars(u"old text")), master = Container(0x03F8, Chars(u"m"));
    const std::string newSlide = Slide(Chars(u"new text"));
    const std::string document = Container(
        0x03E8, Container(0x0FF0, Atom(0x03F3, std::string(20, '\0')) + Bytes8("title\rbody"), 0));
    std::string stream = junk + filler;
    const auto oldAt = static_cast<uint32_t>(stream.size());
    stream += oldSlide;
    const auto masterAt = static_cast<uint32_t>(stream.size());
    stream += master;
    const auto newAt = static_cast<uint32_t>(stream.size());
    stream += newSlide;
    const auto documentAt = static_cast<uint32_t>(stream.size());
    stream += document;
    EXPECT_EQ(Text(Edited(stream, {{{1, documentAt}, {2, masterAt}, {3, oldAt}}, {{3, newAt}}})),
              "title\nbody\nnew text\n");
    // A directory that cannot be followed: the stream is read from its start.
    EXPECT_EQ(Text(Edited(oldSlide + newSlide, {{{1, 0x7FFFFFF0}}})), "old text\nnew text\n");
}

TEST_F(DxFilterPowerPoint, EachSlideIsFollowedByItsNotes) {
    // Objects in stream order: the document (its slide list and notes list),
    // the notes master, the slides, their notes pages in reverse order, a
    // notes page no slide names. Each slide's notes page comes after it, its
    // body's text without the slide image, number, date, header and footer
    // placeholders' (nor the master's, which no slide names).
    const std::string document = Container(
        0x03E8, Container(0x0FF0, Atom(0x03F3, std::string(20, '\0')) + Bytes8("Title"), 0) +
                    Container(0x0FF0,
                              NotesPersist(10, 0x100) + NotesPersist(11, 0x101) +
                                  NotesPersist(12, 0x102) + NotesPersist(2, 0x103),
                              2));
    const std::string master = NotesPage(
        0x80000000, NotesShape(0x05, u"master image") + NotesShape(0x06, u"Click to edit"));
    const std::string notes1 = NotesPage(
        256, NotesShape(0x0B, u"slide image") + NotesShape(0x0C, u"Первая заметка\rвторая") +
                 NotesShape(0x08, u"*") + NotesShape(0x07, u"date") + NotesShape(0x09, u"footer") +
                 NotesShape(0x0A, u"header") + NotesShape(0x08, u"*", true) +
                 NotesShape(0x09, u"later footer", true) + NotesShape(0, u"a box on the page"));
    const std::string notes2 = NotesPage(257, NotesShape(0x0C, u"notes two"));
    const std::string orphan = NotesPage(258, NotesShape(0x0C, u"nobody's notes"));
    std::string stream;
    std::vector<std::pair<uint32_t, uint32_t>> directory;
    auto add = [&](uint32_t id, const std::string &object) {
        directory.emplace_back(id, static_cast<uint32_t>(stream.size()));
        stream += object;
    };
    add(1, document);
    add(2, master);
    add(3, SlideWithNotes(0x100, u"slide one"));
    // A second slide naming the first one's notes, a slide naming the notes
    // master, one naming an id the list does not hold, one with notes.
    add(4, SlideWithNotes(0x100, u"same notes"));
    add(5, SlideWithNotes(0x103, u"master's"));
    add(6, SlideWithNotes(0x999, u"unknown"));
    add(7, SlideWithNotes(0x101, u"slide two"));
    add(11, notes2);
    add(10, notes1);
    add(12, orphan);
    EXPECT_EQ(Text(Edited(stream, {directory})),
              "Title\nslide one\nПервая заметка\nвторая\na box on the page\nsame notes\n"
              "master's\nunknown\nslide two\nnotes two\n");
    // Without a persist directory the notes pages cannot be told from the
    // notes master: none is read.
    EXPECT_EQ(Text(File(SlideWithNotes(0x100, u"alone") + notes1)), "alone\n");
    // A notes page whose records run past it costs its own text only.
    std::string cut = notes1;
    put32(cut, 8 + 16 + 4, 0x7FFF);  // its drawing
    stream.clear(), directory.clear();
    add(1, document);
    add(3, SlideWithNotes(0x100, u"slide one"));
    add(10, cut);
    add(7, SlideWithNotes(0x101, u"slide two"));
    add(11, notes2);
    EXPECT_EQ(Text(Edited(stream, {directory})), "Title\nslide one\nslide two\nnotes two\n");
    // Damage anywhere never breaks the plug-in.
    stream.clear(), directory.clear();
    add(1, document);
    add(3, SlideWithNotes(0x100, u"slide one"));
    add(10, notes1);
    uint32_t edit = 0;
    const std::string edited = EditedStream(stream, {directory}, edit);
    Mutator m(97);
    for (int variant = 0; variant < 300; ++variant) {
        Extraction r =
            Run(File(m.Overwrite(edited, variant % 6 + 1), CurrentUser(0xE391C05F, edit)));
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
    }
}

TEST_F(DxFilterPowerPoint, ContainersWhoseRecordsDoNotFitArePassedOver) {
    // A container whose body is not records (later versions write some
    // atoms so), or whose records run past it, is passed over; the text
    // around it comes.
    std::string notRecords = Container(0x0428, Atom(0x0001, std::string(40, '\x07')));
    put32(notRecords, 8 + 4, 0x00060014);  // its "child" claims more than it holds
    EXPECT_EQ(Text(File(Slide(Chars(u"before") + notRecords + Chars(u"after")))),
              "before\nafter\n");
    std::string tooShort = Container(0x0FF0, Chars(u"inside") + Chars(u"cut"));
    put32(tooShort, 4, 8 + 12 + 3);
    EXPECT_EQ(Text(File(Chars(u"first") + Container(0x03E8, tooShort) + Chars(u"last"))),
              "first\nlast\n");
}

TEST_F(DxFilterPowerPoint, DeepAndEmptyContainersStayBounded) {
    // Containers nested far deeper than any presentation: what lies below
    // the depth read is skipped whole, and the text after it still comes.
    std::string deep = Chars(u"deep down");
    for (int i = 0; i < 5000; ++i) deep = Container(0x0FF0, deep);
    std::string empty;
    for (int i = 0; i < 20000; ++i) empty += Container(0x03EE, "");
    EXPECT_EQ(Text(File(Chars(u"before") + deep + empty + Chars(u"after"))), "before\nafter\n");
    std::string shallow = Chars(u"shallow");
    for (int i = 0; i < 40; ++i) shallow = Container(0xF004, shallow);
    EXPECT_EQ(Text(File(shallow)), "shallow\n");
}

TEST_F(DxFilterPowerPoint, EncryptedAndDamagedPresentationsAreRefused) {
    const std::string good = Presentation();
    // The slide list's header: inside the document container, after its atom.
    const size_t slideList = 8 + 48;
    struct {
        const char *what;
        std::string file;
    } cases[] = {
        {"encrypted, by the current user", File(good, CurrentUser(0xF3D1C4DF))},
        {"encrypted, with an encrypted summary", CompoundFile({{"PowerPoint Document", good},
                                                               {"Current User", CurrentUser()},
                                                               {"EncryptedSummary", "x"}})},
        {"encrypted, with a crypt session",
         File(good + Container(0x2F14, Atom(0x2F15, std::string(40, '\x11'))))},
        {"no document stream", CompoundFile({{"PowerPoint Documen", good}})},
        {"empty stream", CompoundFile({{"PowerPoint Document", ""}}, {}, true)},
    };
    for (const auto &c : cases) ExpectRefused(c.file, c.what);
    struct {
        const char *what;
        std::function<void(std::string &)> damage;
    } damaged[] = {
        {"huge record length", [](std::string &s) { put32(s, 4, 0xFFFFFFFF); }},
        {"truncated", [](std::string &s) { s.resize(s.size() / 2); }},
    };
    for (const auto &d : damaged) {
        std::string stream = good;
        d.damage(stream);
        ExpectRefused(CompoundFile({{"PowerPoint Document", stream}}, {}, true), d.what);
    }
    // Damage inside a container costs that container's text only (here the
    // document's, the container of the slide list); the slide's text box
    // still comes.
    struct {
        const char *what;
        std::function<void(std::string &)> damage;
    } inside[] = {
        {"atom past its container", [&](std::string &s) { put32(s, slideList + 8 + 4, 0x4000); }},
        {"container past its parent", [&](std::string &s) { put32(s, slideList + 4, 0x10000); }},
        {"container shorter than its children",
         [&](std::string &s) {
             put32(s, slideList + 4, static_cast<uint32_t>(s.find("caf") - slideList - 8));
         }},
    };
    for (const auto &d : inside) {
        std::string stream = good;
        d.damage(stream);
        EXPECT_EQ(Text(CompoundFile({{"PowerPoint Document", stream}}, {}, true)),
                  "в рамке 😀 box\n")
            << d.what;
    }
}

TEST_F(DxFilterPowerPoint, MutatedPresentationsNeverBreakThePlugin) {
    const std::string stream = Presentation();
    Mutator m(2003);
    for (int variant = 0; variant < 300; ++variant) {
        std::string s = m.Overwrite(stream, variant % 6 + 1);
        if (variant % 7 == 0) s = m.Cut(s);
        Extraction r = Run(CompoundFile({{"PowerPoint Document", s}}, {}, variant % 2 == 0));
        EXPECT_TRUE(r.opened) << variant;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
        // Opened presentations read to their end without an error.
        if (r.openText == 0) {
            EXPECT_EQ(r.readError, 0) << variant;
        }
    }
}

TEST_F(DxFilterPowerPoint, PowerPoint95SlidesInOrderWithoutMastersNotesOrHandout) {
    EXPECT_EQ(plugin->Format(Temp("p95.ppt", File95(Presentation95()))), DX_FMT_PPT);
    // Windows-1252 when the summary information has no code page, or none.
    EXPECT_EQ(Text(File95(Presentation95())), kPresentation95Text);
    EXPECT_EQ(Text(File95(Presentation95(), Summary(1252))), kPresentation95Text);
    EXPECT_EQ(Text(CompoundFile({{"PowerPoint Document", Presentation95() + "\0\0\0"}}, {}, true)),
              kPresentation95Text);
    // The slides come in the order of their list, not of their ids or text.
    EXPECT_EQ(Text(File95(Presentation95(Slide95(Shape95("zwei")), Slide95(Shape95("eins"))))),
              "zwei\neins\n");
}

TEST_F(DxFilterPowerPoint, PowerPoint95TextIsInTheSummaryCodePage) {
    const std::string cyrillic = Presentation95(Slide95(Shape95("\xCF\xF0\xE8\xE2\xE5\xF2")),
                                                Slide95(Shape95("\xEC\xE8\xF0")));
    EXPECT_EQ(Text(File95(cyrillic, Summary(1251))), "Привет\nмир\n");
    // Shift_JIS: a double-byte character whose second byte is 0x5C or in
    // the ASCII letters, then a break.
    const std::string japanese =
        Presentation95(Slide95(Shape95("\x95\x5C\x8E\xA6\rA\x83\x65\x83\x4C\x83\x58\x83\x67")), "");
    EXPECT_EQ(Text(File95(japanese, Summary(932))), "表示\nAテキスト\n");
    // Mac Roman by its code page; a code page iconv does not know is read
    // as Windows-1252.
    EXPECT_EQ(Text(File95(Presentation95(Slide95(Shape95("caf\x8E")), ""), Summary(10000))),
              "café\n");
    EXPECT_EQ(Text(File95(Presentation95(Slide95(Shape95("caf\xE9")), ""), Summary(4711))),
              "café\n");
    // A character cut by the end of its text box, or a byte the code page
    // does not know, is dropped, not the text around it.
    EXPECT_EQ(Text(File95(Presentation95(Slide95(Shape95("ab\x81") + Shape95("c\x82")), ""),
                          Summary(932))),
              "ab\nc\n");
    EXPECT_EQ(Text(File95(Presentation95(Slide95(Shape95("x\x81y")), ""), Summary(1252))), "xy\n");
}

TEST_F(DxFilterPowerPoint, DamagedPowerPoint95PresentationsStayBounded) {
    const std::string good = Presentation95();
    // The whole stream's container claiming more than the stream, or the
    // stream cut, is refused; a slide list whose records run past it is
    // passed over, and the text after it (none: the masters are left out)
    // does not come from elsewhere.
    std::string huge = good;
    put32(huge, 8, 0x7FFFFFF0);
    ExpectRefused(File95(huge), "huge length");
    ExpectRefused(
        CompoundFile({{"PowerPoint Document", good.substr(0, good.size() / 2)}}, {}, true),
        "truncated");
    std::string list = good;
    const size_t slides = list.find(std::string("\xD0\x07\0\0\xFF\xFF", 6));
    ASSERT_NE(slides, std::string::npos);
    put32(list, slides + 16 + 8, 0x10000);  // its list atom runs past it
    EXPECT_EQ(Text(File95(list)), "");
    Mutator m(1995);
    for (int variant = 0; variant < 300; ++variant) {
        std::string s = m.Overwrite(good, variant % 6 + 1);
        if (variant % 7 == 0) s = m.Cut(s);
        Extraction r = Run(File95(s, variant % 3 == 0 ? Summary(932) : ""));
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
        if (r.openText == 0) {
            EXPECT_EQ(r.readError, 0) << variant;
        }
    }
}
