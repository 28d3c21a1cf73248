// msppt_fuzz.cpp - fuzz target: the presentation reader. The input is the
// PowerPoint Document stream, put into a sound compound file. When the
// stream holds a user edit atom, a current user stream names the last one,
// as PowerPoint writes it, so that the persist directories are followed
// (and through them each slide's notes page); without one the reader walks
// the stream whole.
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "tests/fuzz/dxfilter_fuzz.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

// The current user stream naming the user edit atom whose header lies last
// in `stream`; empty when there is none.
std::string CurrentUser(std::string_view stream) {
    constexpr std::string_view kUserEdit("\x00\x00\xF5\x0F", 4);  // version 0, type 0x0FF5
    const size_t at = stream.rfind(kUserEdit);
    if (at == std::string_view::npos || at > 0xFFFFFFFFu) return {};
    std::string user(0x14 + 8 + 8, '\0');
    auto put32 = [&](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i) user[offset + i] = static_cast<char>(value >> (8 * i));
    };
    put32(0, 0x0FF60000), put32(4, 0x14 + 8);  // the atom's header
    put32(8, 0x14), put32(12, 0xE391C05F), put32(16, static_cast<uint32_t>(at));
    return user;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view stream(reinterpret_cast<const char *>(data), size);
    const std::string user = CurrentUser(stream);
    const std::string file =
        user.empty()
            ? dxfuzz::CompoundFile({{"PowerPoint Document", stream}})
            : dxfuzz::CompoundFile({{"PowerPoint Document", stream}, {"Current User", user}});
    dxfuzz::ExtractWithModule(DXM_GetModule(), reinterpret_cast<const uint8_t *>(file.data()),
                              file.size(), DX_FMT_PPT);
    return 0;
}
