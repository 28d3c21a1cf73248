// zip_scan.h - the entry names of a zip archive, read from its central
// directory, to tell office packages from other archives without opening
// the archive. Archives it cannot read this way (zip64, long comments,
// damaged directories) are left to libzip in the office module.
#ifndef GLOTTA_FILTERS_DXFILTER_ZIP_SCAN_H
#define GLOTTA_FILTERS_DXFILTER_ZIP_SCAN_H

#include <cstddef>
#include <cstdint>
#include <functional>

namespace dxf {

// Reads `count` bytes at `offset` into `buffer`; false when it cannot.
using ReadAtFn = std::function<bool(uint64_t offset, void *buffer, size_t count)>;

// A DX_FMT_* code (DOCX, XLSX, PPTX, FICTIONBOOK for an archive of a single
// member whose name ends in ".fb2", or ZIP for an archive without any
// package marker), or DX_FMT_UNKNOWN when libzip has to decide (the archive
// has a `mimetype` entry that the caller could not read from its head, or
// its directory cannot be read here).
int ZipFormatFromDirectory(uint64_t size, const ReadAtFn &readAt);

}  // namespace dxf

#endif
