// code_pages.h - the Windows code pages of the document filter's readers:
// which code page a locale, a Word language or a font charset stands for,
// and the names iconv and ICU know a code page by. Tables only; opening the
// converters is left to the readers.
#ifndef GLOTTA_FILTERS_DXFILTER_CODE_PAGES_H
#define GLOTTA_FILTERS_DXFILTER_CODE_PAGES_H

#include <cstdint>
#include <string>

namespace dxf {

// The ANSI code page of a locale (LCID): the locale's own, else its primary
// language's (the low 10 bits); 0 for a language with none (one written in
// a script no ANSI code page holds, or unknown).
uint16_t LocaleCodePage(uint32_t lcid);

// The code page of the 8-bit text of a Word 6/95 or Word for Windows 1.x and
// 2.0 document of language `lid` (its FIB's): the locale's, else the most
// common one of the language's locales, else Windows-1252. Word writes no
// document without one; the Macintosh charset of a Word 6 FIB is not a
// language and is the reader's to tell.
uint16_t WordLanguageCodePage(uint16_t lid);

// The code page of a Windows font charset (RTF's \fcharset); 0 for those
// that name none (ANSI, default, symbol, OEM...): the document's is used.
int FontCharsetCodePage(int charset);

// iconv's name for the 8-bit text of code page `codePage` in documents of
// Office's binary formats (Word, Excel, PowerPoint, summary information).
std::string OfficeIconvName(unsigned codePage);

// iconv's name for code page `codePage` of an RTF document (\ansicpg, \cpg
// or a font charset's).
std::string RtfIconvName(int codePage);

// ICU's name for code page `codePage` (of a mail message, a TNEF stream or
// a help file's locale): "windows-N" for the Windows ANSI code pages, the
// name of the table for those ICU knows by another name, else "cpN", which
// ICU may not know; empty for 0.
std::string IcuCodePageName(uint32_t codePage);

}  // namespace dxf

#endif
