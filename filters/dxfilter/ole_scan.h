// ole_scan.h - the kind of an OLE compound document (Word, Excel,
// PowerPoint, an Outlook message, Works, Visio, StarOffice, Hangul,
// Publisher or another) from the streams at the root of its directory, read without
// opening the compound file: a few sector reads.
#ifndef GLOTTA_FILTERS_DXFILTER_OLE_SCAN_H
#define GLOTTA_FILTERS_DXFILTER_OLE_SCAN_H

#include <cstddef>
#include <span>

#include "filters/dxfilter/zip_scan.h"

namespace dxf {

// `head`: the first bytes of the file (at least its 512-byte header);
// `readAt` reads the rest. DX_FMT_DOC for a `WordDocument` stream, DX_FMT_XLS
// for `Workbook` or `Book`, DX_FMT_PPT for `PowerPoint Document`, DX_FMT_MAIL
// for `__properties_version1.0` (an Outlook message file), DX_FMT_WORKS for
// `MN0` (Works 3 and 4 for Windows), DX_FMT_VISIO for `VisioDocument` (a Visio
// drawing), DX_FMT_STARWRITER for `StarWriterDocument`, DX_FMT_STARCALC for
// `StarCalcDocument`, DX_FMT_STARDRAW for `StarDrawDocument3` or
// `StarDrawDocument` (StarOffice 3 to 5), in that order when several are
// there;
// else DX_FMT_HWP for a `FileHeader` and a `DocInfo` stream (a Hangul word
// processor document, HWP 5);
// else DX_FMT_WORKS for a `CONTENTS` stream of sectors of its own that opens
// with `CHNKWKS` or `CHNKINK` (Works 2000 to 9);
// else DX_FMT_PUBLISHER for a `Contents` stream beside a `Quill` storage
// (Publisher 98 to 2019) or one of sectors of its own that opens with
// Publisher's signature, 0xE8 0xAC (Publisher 97); DX_FMT_OLE when the root
// holds none of them;
// DX_FMT_UNKNOWN when the header or directory cannot be read. Streams inside
// storages (embedded objects) do not count.
int OleFormatFromDirectory(std::span<const unsigned char> head, const ReadAtFn &readAt);

}  // namespace dxf

#endif
