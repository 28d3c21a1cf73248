// msdoc_module.cpp - dxfilter_msdoc.so: the text of legacy Office documents
// (Word, Excel and PowerPoint 97-2003, Word 6 and 95, Excel 5 and 95, Word
// for Windows 1.x and 2.0, Excel 2.x, 3.0 and 4.0).
//
// The module opens the compound file (ole_file.cpp) and hands it to the
// reader of the document's format: msword_reader.cpp, msxls_reader.cpp or
// msppt_reader.cpp. A Word document or workbook that is no compound file
// (Word for Windows 1.x and 2.0, Excel 2.x to 4.0) goes to its reader as one
// stream.
#include <memory>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/ole_file.h"

namespace {

DXMExtractor *msdoc_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    using namespace msdoc;
    if (!limits || size <= 0) return nullptr;
    auto *open = format == DX_FMT_DOC   ? OpenWordReader
                 : format == DX_FMT_XLS ? OpenWorkbookReader
                 : format == DX_FMT_PPT ? OpenPresentationReader
                                        : nullptr;
    if (!open) return nullptr;
    try {
        auto file = std::make_unique<OleFile>();
        if (!file->Open(stream, size, limits->deadlineNs)) {
            if (format == DX_FMT_PPT) return nullptr;
            file = std::make_unique<OleFile>();
            file->OpenWhole(stream, size, limits->deadlineNs);
        }
        return reinterpret_cast<DXMExtractor *>(open(std::move(file), *limits).release());
    } catch (...) {
        return nullptr;
    }
}

int msdoc_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<msdoc::OleReader *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void msdoc_close(DXMExtractor *extractor) {
    delete reinterpret_cast<msdoc::OleReader *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              msdoc_open,      msdoc_step, msdoc_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
