// LaTeX and Texinfo sources: the format rule that tells them from plain
// text, the charset of their bytes, the stripper that keeps their prose, and
// the plug-in reading them plain and compressed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/tex_text.h"

namespace {

using namespace dxfilter_test;
using dxf::TexKind;

// ---- telling them from plain text -----------------------------------------------

TEST(DxfTex, SourcesAreToldByTheirHead) {
    struct Case {
        const char *head;
        int format;
    };
    const std::vector<Case> sources = {
        {"\\documentclass{article}\n", DX_FMT_TEX},
        {"\\documentclass[a4paper,11pt]{scrartcl}\n\\usepackage{geometry}\n", DX_FMT_TEX},
        {"%% Kommentar\n\n   % noch einer\n\\documentstyle[12pt]{article}\n", DX_FMT_TEX},
        {"\xEF\xBB\xBF\\documentclass{book}\n", DX_FMT_TEX},
        // Commands before the class (doxygen's refman.tex), or a body only.
        {"\\let\\mypdfximage\\pdfximage\\def\\pdfximage{\\immediate\\mypdfximage}\n"
         "\\documentclass[twoside]{book}\n",
         DX_FMT_TEX},
        {"\\input{macros}\n\\begin{document}\nText\n", DX_FMT_TEX},
        // A part of a document: its first command and two more.
        {"\\chapter{Einleitung}\\label{ch:einl}\nDieser Text handelt von \\emph{Booten}.\n",
         DX_FMT_TEX},
        {"\\hypertarget{x_8py}{\\section{x.py File Reference}\n\\label{x_8py}\\index{x.py}}\n",
         DX_FMT_TEX},
        {"\\section{Uno}\nTexto.\n\\section{Dos}\nM\\'as texto en \\textbf{negrita}.\n",
         DX_FMT_TEX},
        {"\\input texinfo   @c -*-texinfo-*-\n@setfilename a.info\n", DX_FMT_TEXINFO},
        {"\\input texinfo\n", DX_FMT_TEXINFO},
        {"\\input texinfo.tex\n@settitle x\n", DX_FMT_TEXINFO},
    };
    for (const Case &c : sources) EXPECT_EQ(Sniffed(c.head), c.format) << c.head;

    // Near misses: text with backslashes that is no TeX source stays text.
    const std::vector<const char *> text = {
        "C:\\Users\\anna\\Documents\\brief.txt\n\\\\server\\share\\section\\file\n",
        "\\Windows\\System32\\drivers\\etc\\hosts\n",
        "\\d+\\s*\\w+\\b\n^\\section{.*}$\n",
        "printf(\"%d\\n\", x);\n\\\n",
        "print('a\\tb\\n')\n",
        // LaTeX quoted in a message or a note: the first line is words.
        "Hallo Anna,\n\nversuch mal das hier:\n\n\\documentclass{article}\n\\begin{document}\n",
        "> \\documentclass{article}\n> \\begin{document}\n",
        "Use \\section{Title} and \\emph{word} and \\cite{key} in your file.\n",
        // One command alone, or a first word that opens no document part.
        "\\section{Notes}\nJust some words written here.\n",
        "\\emph{hi there}\n",
        "\\expandafter\\ifx\\csname "
        "fmtname\\endcsname\\relax\\fi\n\\section{a}\\label{b}\\ref{c}\n",
        "\\newline is an escape\n",
        // A control word cut by the head's end, and a texinfo word that is no input line.
        "\\inputtexinfo\n",
        "\\input texinfolder\n",
        "@node Top\n@chapter Uno\n",
        "% just a comment\n% and another\n",
    };
    for (const char *t : text) EXPECT_EQ(Sniffed(t), DX_FMT_TEXT) << t;
}

TEST(DxfTex, CharsetIsUtf8ElseTheDeclaredOneElseLatin1) {
    struct Case {
        std::string head;
        TexKind kind;
        bool whole;
        const char *charset;
    };
    const std::vector<Case> cases = {
        {"\\usepackage[latin1]{inputenc}\nM\xC3\xBCller\n", TexKind::kLatex, true, "UTF-8"},
        {"\\usepackage[latin1]{inputenc}\nM\xFCller\n", TexKind::kLatex, true, "ISO-8859-1"},
        {"\\usepackage[T2A]{fontenc}\\usepackage[cp1251]{inputenc}\n\xEF\xF0\n", TexKind::kLatex,
         true, "windows-1251"},
        {"\\usepackage[ansinew, latin2]{inputenc}\n\xB1\n", TexKind::kLatex, true, "ISO-8859-2"},
        {"\\usepackage[koi8-r]{inputenc}\n\xD0\n", TexKind::kLatex, true, "KOI8-R"},
        {"\\usepackage[klingon]{inputenc}\n\xFC\n", TexKind::kLatex, true, "windows-1252"},
        {"M\xFCller\n", TexKind::kLatex, true, "windows-1252"},
        // A sequence cut by the head's end is valid UTF-8 until the end is known.
        {"M\xC3", TexKind::kLatex, false, "UTF-8"},
        {"M\xC3", TexKind::kLatex, true, "windows-1252"},
        {"@documentencoding ISO-8859-15\n\xA4\n", TexKind::kTexinfo, true, "ISO-8859-15"},
        {"@documentencoding UTF-8\n\xA4\n", TexKind::kTexinfo, true, "UTF-8"},
        {"@c @documentencoding ISO-8859-2\n\xA4\n", TexKind::kTexinfo, true, "windows-1252"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(dxf::TexCharset(c.head, c.kind, c.whole), c.charset) << c.head;
}

// ---- the prose ----------------------------------------------------------------

// What the stripper makes of `source` (see FedInPieces).
std::string Stripped(const std::string &source, TexKind kind) {
    return FedInPieces(source, [kind] { return dxf::TexStripper(kind); });
}

struct Case {
    const char *source;
    const char *text;
};

TEST(DxfTex, LatexKeepsItsProse) {
    const std::vector<Case> cases = {
        // Comments, but not an escaped percent sign.
        {"Text % Kommentar\nweiter", "Text weiter\n"},
        {"100\\% sicher", "100% sicher\n"},
        // The preamble is dropped but for the title; nothing after the end.
        {"\\documentclass{article}\\usepackage[utf8]{inputenc}\n\\title{Der Titel}\\author{Ich}\n"
         "\\hypersetup{pdftitle={X},\n  colorlinks}\n\\begin{document}\nHallo\n\\end{document}\n"
         "Nachher",
         "Der Titel\nHallo\n"},
        // A body without \begin{document}: its first line of words ends the preamble.
        {"\\documentclass{article}\n\\usepackage{x}\nWorte ohne Anfang.\n", "Worte ohne Anfang.\n"},
        // Math, inline and displayed, and its environments.
        {"a $x^2$ b $$y$$ c \\(z\\) d \\[w\\] e", "a b c d e\n"},
        {"a $x % $\n y$ b", "a b\n"},
        {"a \\begin{align}x&=1\\\\y\\end{align} b \\begin{equation*}\nz\n\\end{equation*} c",
         "a b c\n"},
        // A stray dollar does not swallow the next paragraph.
        {"a $ b\n\nneuer Absatz", "a\nneuer Absatz\n"},
        // Code and pictures.
        {"a\n\\begin{verbatim}\n\\section{x} $ % }\n\\end{verbatim}\nb", "a b\n"},
        {"\\begin{lstlisting}[language=C]\nint x;\n\\end{lstlisting}\nDanach", "Danach\n"},
        {"\\begin{tikzpicture}\\draw (0,0) -- (1,1);\\end{tikzpicture}Bild", "Bild\n"},
        {"\\begin{comment}\nweg\n\\end{comment}\nda", "da\n"},
        {"\\verb|x{y|z \\lstinline{a}b", "z b\n"},
        // Text commands keep their arguments, others drop them.
        {"\\section{Titel}\\label{s}Text", "Titel\nText\n"},
        {"\\subsection*{Kurz}Text", "Kurz\nText\n"},
        {"\\emph{ja} \\textbf{nein} \\textit{x} {\\bf fett}", "ja nein x fett\n"},
        {"siehe \\cite[S.~3]{knuth} und \\ref{fig}", "siehe und\n"},
        {"\\includegraphics[width=3cm]{bild.png}Bild", "Bild\n"},
        {"\\href{http://x}{Seite} \\url{http://y}", "Seite\n"},
        {"\\hypertarget{x}{\\section{Titel}}", "Titel\n"},
        {"\\setlength{\\parindent}{0pt}Text", "Text\n"},
        {"\\newcommand{\\foo}[1]{\\textbf{#1}}Text", "Text\n"},
        {"\\def\\foo#1{bar #1}Text", "Text\n"},
        {"\\texorpdfstring{$x$}{x} Wort", "Wort\n"},
        {"\\item[a)] Erstens \\item Zweitens", "Erstens\nZweitens\n"},
        {"Wort\\footnote{Fu\\ss note}.", "Wort Fußnote.\n"},
        {"\\begin{tabular}{ll}a & b \\\\ \\hline c & d\\end{tabular}", "a b\nc d\n"},
        {"\\begin{figure}[h]\\centering\\caption{Bild}\\end{figure}", "Bild\n"},
        // Accents, special letters and ligatures.
        {"\\\"a\\\"{o}{\\\"u} \\ss\\ \\o{} \\ae \\c{c} \\v{s} \\v s \\'e \\`e \\^o \\~n \\'{\\i} "
         "\\H{o} \\k{a} \\.z \\=a \\u{a} \\r{a} \\'E",
         "äöü ß ø æç š š é è ô ñ í ő ą ż ā ă å É\n"},
        {"s\\oe ur", "sœur\n"},
        {"``Zitat'' -- und --- so~weiter\\\\neu", "“Zitat” – und — so weiter\nneu\n"},
        {"\\LaTeX{} ist \\TeX\\ und \\dots", "LaTeX ist TeX und …\n"},
        // Unfinished input ends quietly.
        {"\\'", ""},
        {"\\", ""},
        {"{{{", ""},
        {"}}}x", "x\n"},
        {"\\textbf{offen", "offen\n"},
        {"", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(Stripped(c.source, TexKind::kLatex), c.text) << c.source;
}

TEST(DxfTex, TexinfoKeepsItsProse) {
    const std::vector<Case> cases = {
        {"\\input texinfo\n@c Kommentar\n@comment noch einer\n@setfilename x.info\n"
         "@settitle Das Handbuch\n@node Top\n@top Oben\n@menu\n* Eins::\n@end menu\n"
         "@chapter Erstes Kapitel\n@cindex x\nText\n",
         "Das Handbuch\nOben\nErstes Kapitel\nText\n"},
        // Code and names are dropped, emphasis is kept.
        {"Mit @emph{Betonung} und @code{code}, @samp{s} @var{v} @strong{stark}.",
         "Mit Betonung und , stark.\n"},
        {"a\n@example\nbeispiel\n@end example\n@smallexample\nb\n@end smallexample\nb", "a b\n"},
        {"@ignore\n@ignore\nweg\n@end ignore\nweg\n@end ignore\nwieder da @c Kommentar",
         "wieder da\n"},
        {"@@ @{ @} @dots{} @\"a @'e @,{c} @v{s} @ss{} @U{00e9} @'{@dotless{i}}",
         "@ { } … ä é ç š ß é í\n"},
        {"@uref{http://x, Verweis} @uref{http://y} @email{a@@b, Name} @xref{Knoten}.",
         "Verweis Name .\n"},
        {"@itemize @bullet\n@item Punkt\n@end itemize\n", "Punkt\n"},
        {"@multitable @columnfractions .5 .5\n@item eins @tab zwei\n@end multitable\n",
         "eins zwei\n"},
        {"@verb{|a{b|} nach", "nach\n"},
        {"@deffn Befehl tanzen\nTanzt.\n@end deffn\n", "Tanzt.\n"},
        {"Ende.\n@bye\nNachher", "Ende.\n"},
        {"@emph{offen", "offen\n"},
        {"@", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Stripped(c.source, TexKind::kTexinfo), c.text) << c.source;
}

TEST(DxfTex, LongLinesAndDeepGroupsStayBounded) {
    const size_t max = dxf::TexStripper::kMaxLine;
    std::string words;
    while (words.size() < 3 * max) words += "Wort ";
    words.pop_back();
    EXPECT_EQ(Stripped(words + "\n", TexKind::kLatex), words + "\n");
    EXPECT_EQ(Stripped(words + "\n", TexKind::kTexinfo), words + "\n");
    // A comment longer than a piece is dropped whole.
    EXPECT_EQ(Stripped("% " + std::string(3 * max, 'x') + "\nok\n", TexKind::kLatex), "ok\n");
    // Groups deeper than the stripper keeps still close in order.
    const size_t deep = 3 * dxf::TexStripper::kMaxDepth;
    EXPECT_EQ(Stripped("\\label{" + std::string(deep, '{') + "x" + std::string(deep, '}') + "}ok",
                       TexKind::kLatex),
              "ok\n");
    // An environment that never ends drops the rest, and nothing is kept of it.
    EXPECT_EQ(Stripped("a\n\\begin{verbatim}\n" + std::string(3 * max, 'x'), TexKind::kLatex),
              "a\n");
}

// ---- through the plug-in -------------------------------------------------------

using DxfTexPlugin = PluginTest;

// `text` with every run of white space one space: the worker's text sink
// lays out lines of its own.
std::string Words(const std::string &text) {
    std::string out;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n';
        if (space && (out.empty() || out.back() == ' ')) continue;
        out += space ? ' ' : c;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

TEST_F(DxfTexPlugin, FixturesGiveTheirProse) {
    const std::string german =
        "Einladung zum Sommerfest\nAnlass\nLiebe Mitglieder, wir laden euch herzlich zu "
        "unserem Sommerfest am Flussufer ein. Das Fest beginnt um 15 Uhr am Bootshaus; für "
        "Kaffee und Kuchen ist gesorgt. Bitte bringt eigene Becher mit.\nProgramm\n"
        "Regatta der Jugendmannschaften (siehe Abschnitt )\nGrillen und Musik bis in den "
        "Abend\nDie Kosten betragen Euro pro Familie, und die Kasse liegt bei Frau Müller. "
        "Weitere Hinweise stehen unter und im Lageplan. Wir freuen uns auf euch!\n";
    EXPECT_EQ(plugin->Format(Data("tex/de-brief.tex")), DX_FMT_TEX);
    EXPECT_EQ(Words(plugin->Extract(Data("tex/de-brief.tex")).utf8()), Words(german));
    EXPECT_EQ(Words(plugin->Extract(Data("tex/de-brief.tex.gz")).utf8()), Words(german));
    // Latin-1 bytes as inputenc names them, beside TeX's accents.
    EXPECT_EQ(
        Words(plugin->Extract(Data("tex/fr-latin1.tex")).utf8()),
        Words("Le moulin\nChaque matin, le meunier ouvre la porte du moulin près de la rivière. "
              "Il salue les voisins et vend de la farine fraîche au marché. Sa sœur dit : «le "
              "blé de cette année est très beau », et l'enfant répond “c'est vrai” — puis il "
              "part à l'école. Le garçon naïf aime les gâteaux de Noël.\n"));
    EXPECT_EQ(plugin->Format(Data("tex/es-latin1.texi")), DX_FMT_TEXINFO);
    const std::string spanish = Words(plugin->Extract(Data("tex/es-latin1.texi")).utf8());
    EXPECT_EQ(
        spanish.substr(spanish.find("Cada mañana")),
        Words("Cada mañana la panadera enciende el horno a las cinco. Primero mezcla la harina "
              "con agua y sal; después deja reposar la masa durante dos horas. Para encender el "
              "horno se usa la orden .\nLas recetas están en la página de recetas; véase "
              "también . El pan de índigo no existe, pero el de maíz sí y sale muy rico @ 3 "
              "euros.\n"));
    EXPECT_EQ(spanish.find("horno --temperatura"), std::string::npos);
    EXPECT_EQ(spanish.find("Hornear::"), std::string::npos);
}

}  // namespace
