// cfb_reader_fuzz.cpp - fuzz target: the compound file reader opened both
// ways (read lazily by position, read whole), every storage's tree walked
// and every stream read, from sectors and from the mini stream.
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "filters/dxfilter/cfb_reader.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kMaxVisited = 4096;
constexpr uint64_t kCap = 1 << 16;

void ReadAll(dxf::CompoundFile &file) {
    const unsigned char *root = file.Entry(0);
    if (!root) return;
    file.LoadMiniStream();
    // Storages to walk, each once: the root's tree, then those found in it.
    std::vector<uint32_t> trees{dxf::CompoundFile::Info(root).child};
    std::vector<uint32_t> storages{0};
    size_t visited = 0;
    for (size_t t = 0; t < trees.size() && t < 64; ++t) {
        file.Walk(trees[t], kMaxVisited, [&](uint32_t index, const unsigned char *entry) {
            ++visited;
            const auto info = dxf::CompoundFile::Info(entry);
            if (info.type == dxf::CompoundFile::kStorageEntry) {
                for (uint32_t s : storages)
                    if (s == index) return;
                storages.push_back(index);
                trees.push_back(info.child);
                return;
            }
            dxf::CompoundFile::StreamName(entry);
            if (const auto bytes = file.Read(info.start, info.size, kCap))
                FUZZ_CHECK(bytes->size() == std::min<uint64_t>(info.size, kCap));
        });
    }
    FUZZ_CHECK(visited <= 64 * kMaxVisited);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::CompoundFile whole;
    dxf::CompoundFile::Options options;
    options.mode = dxf::CompoundFile::Mode::kWhole;
    options.maxDirectoryEntries = 1 << 16;
    if (whole.Open(bytes, options)) ReadAll(whole);

    dxf::CompoundFile lazy;
    dxf::CompoundFile::Options lazyOptions;
    lazyOptions.maxDirectorySectors = 256;
    const auto readAt = [&](uint64_t at, void *out, size_t n) {
        if (at > size || n > size - at) return false;
        if (n > 0) std::memcpy(out, data + at, n);
        return true;
    };
    if (lazy.Open(std::span(data, size), readAt, size, lazyOptions)) ReadAll(lazy);
    return 0;
}
