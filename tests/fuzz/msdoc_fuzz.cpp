// msdoc_fuzz.cpp - fuzz target: the Word reader (Word 97-2003, Word 6 and
// 95, Word for Windows 1.x and 2.0). The input is a 32-bit little-endian length, the WordDocument
// stream of that length (or what there is) and the table stream; both go into a sound compound
// file, so the fuzzer works on the streams rather than on the container (ole_file_fuzz does that).
// A WordDocument stream that opens with the identifier of Word for Windows 1.x or 2.0 is also read
// as a file of its own, as those documents are no compound files.
#include <algorithm>
#include <string_view>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const size_t wordLength = std::min<size_t>(
        size - 4, data[0] | (data[1] << 8) | (data[2] << 16) | (size_t{data[3]} << 24));
    const std::string_view all(reinterpret_cast<const char *>(data) + 4, size - 4);
    const std::string_view word = all.substr(0, wordLength), table = all.substr(wordLength);
    const std::string file =
        dxfuzz::CompoundFile({{"WordDocument", word}, {"0Table", table}, {"1Table", table}});
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(file.data()),
                              file.size(), DX_FMT_DOC);
    if (word.size() >= 2 && static_cast<unsigned char>(word[1]) == 0xA5) {
        const unsigned char low = static_cast<unsigned char>(word[0]);
        if (low == 0x9B || low == 0x9C || low == 0xDB)
            dxfuzz::ExtractWithModule(DXM_GetModule(),
                                      reinterpret_cast<const uint8_t *>(word.data()), word.size(),
                                      DX_FMT_DOC);
    }
    return 0;
}
