// extractor.cpp - reading through the engine's stream callbacks, and text
// handed out chunk by chunk.
#include "filters/dxfilter/extractor.h"

#include <unistd.h>

#include <climits>

namespace dxf {

long ReadFully(DXStream *stream, void *buffer, size_t count) {
    auto *out = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < count) {
        size_t want = count - done;
        if (want > INT_MAX) want = INT_MAX;
        int got = stream->read(stream, out + done, static_cast<int>(want));
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<long>(done);
}

bool PreadFully(int fd, void *buffer, size_t count, uint64_t offset) {
    auto *out = static_cast<unsigned char *>(buffer);
    while (count > 0) {
        ssize_t n = pread(fd, out, count, static_cast<off_t>(offset));
        if (n <= 0) return false;
        out += n, offset += static_cast<uint64_t>(n), count -= static_cast<size_t>(n);
    }
    return true;
}

bool StreamReader::Fill() {
    if (eof_ || failed_) return false;
    long got = ReadFully(stream_, buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    if (got <= 0) {
        eof_ = true;
        return false;
    }
    pos_ = 0;
    end_ = static_cast<size_t>(got);
    return true;
}

bool TextPump::Next(std::u16string &units) {
    while (!done_ && sink_.pending_units() < kChunkUnits) {
        int r = 0;
        if (clock_() <= deadline_ && !sink_.full()) r = extractor_->Step(sink_);
        if (r <= 0) {
            done_ = true;
            failed_ = r < 0;
            // Stopped here at the deadline, or a reader that stopped itself
            // there (the PDF reader drops a page cut off by it): either way
            // the deadline, not the end of the document, ended it.
            overran_ = r == 0 && !sink_.full() && clock_() > deadline_;
        }
    }
    if (done_ && !finished_) {
        sink_.Finish();
        finished_ = true;
    }
    sink_.Take(kChunkUnits, units);
    return !(units.empty() && failed_);
}

const char *ModuleFor(int format) {
    switch (format) {
        case DX_FMT_PDF:
            return DXM_PDF_NAME;
        case DX_FMT_DOC:
        case DX_FMT_XLS:
        case DX_FMT_PPT:
            return DXM_MSDOC_NAME;
        case DX_FMT_WORDPERFECT:
            return DXM_WP_NAME;
        case DX_FMT_DJVU:
            return DXM_DJVU_NAME;
        case DX_FMT_CHM:
            return DXM_CHM_NAME;
        case DX_FMT_POSTSCRIPT:
            return DXM_PS_NAME;
        case DX_FMT_IWORK:
            return DXM_IWORK_NAME;
        case DX_FMT_WORKS:
        case DX_FMT_WORKS_SHEET:
        case DX_FMT_MSWRITE:
        case DX_FMT_POCKETWORD:
            return DXM_WORKS_NAME;
        case DX_FMT_VISIO:
            return DXM_VISIO_NAME;
        case DX_FMT_PUBLISHER:
            return DXM_MSPUB_NAME;
        case DX_FMT_MACWRITE:
            return DXM_MWAW_NAME;
        case DX_FMT_STARWRITER:
        case DX_FMT_STARCALC:
        case DX_FMT_STARDRAW:
            return DXM_STAROFFICE_NAME;
        case DX_FMT_QUARKXPRESS:
        case DX_FMT_ZONER:
            return DXM_DRAW_NAME;
        case DX_FMT_DOCX:
        case DX_FMT_XLSX:
        case DX_FMT_PPTX:
        case DX_FMT_ODT:
        case DX_FMT_ODS:
        case DX_FMT_ODP:
        case DX_FMT_ODG:
        case DX_FMT_EPUB:
        case DX_FMT_XPS:
        case DX_FMT_HWPX:
        case DX_FMT_WORDML:
        case DX_FMT_SPREADSHEETML:
            return DXM_OFFICE_NAME;
        case DX_FMT_COMPRESSED:
        case DX_FMT_MAIL:
        case DX_FMT_CATALOG:
        case DX_FMT_PALMBOOK:
        case DX_FMT_FICTIONBOOK:
        case DX_FMT_HWP:
        case DX_FMT_WEBARCHIVE:
        case DX_FMT_TEX:
        case DX_FMT_TEXINFO:
            return DXM_COMPRESS_NAME;
        default:
            return nullptr;
    }
}

}  // namespace dxf
