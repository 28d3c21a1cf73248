// dxtext - prints the text dxfilter.so gives for documents, for comparing
// the plug-in's extraction with other extractors (bench/extraction).
//
//   dxtext FILTER-DIR FILE...
//
// Loads FILTER-DIR/dxfilter.so through its entry points as the engine does,
// reads each FILE through the stream callbacks and writes its text to
// standard output as UTF-8, each document's text followed by a form feed
// and a line feed. A document the plug-in does not open, or whose text it
// refuses, gives no text; a line on standard error says why. A developer
// tool: not installed, not run by the tests.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/utf8.h"
#include "platform/vos.h"

namespace {

struct File {
    DXStream stream{};
    const char *path;
    int fd = -1;
};

File *self(DXStream *s) {
    return static_cast<File *>(s->record);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dxtext FILTER-DIR FILE...\n");
        return 2;
    }
    std::string dir = argv[1];
    if (dir.back() != '/') dir += '/';
    void *lib = vos_dlopen((dir + "dxfilter.so").c_str(), VOS_RTLD_LAZY);
    auto get = reinterpret_cast<DXGetFilterInterfaceFn>(
        lib ? vos_dlsym(lib, "DX_GetFilterInterface") : nullptr);
    if (!get) {
        std::fprintf(stderr, "dxtext: cannot load %sdxfilter.so\n", dir.c_str());
        return 1;
    }
    DXFilterInterface api{};
    get(&api);
    void *filter =
        api.initialise(nullptr, nullptr, dir.c_str(), DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
    if (!filter) {
        std::fprintf(stderr, "dxtext: dxfilter.so did not start\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        File file;
        file.path = argv[i];
        file.stream.record = &file;
        file.stream.open = [](DXStream *s) {
            self(s)->fd = vos_open(self(s)->path, VOS_O_RDONLY);
            return self(s)->fd >= 0 ? 1 : 0;
        };
        file.stream.read = [](DXStream *s, void *buffer, int count) {
            return static_cast<int>(vos_read(self(s)->fd, buffer, static_cast<size_t>(count)));
        };
        file.stream.seek = [](DXStream *s, int64_t offset, int origin) {
            return vos_lseek(self(s)->fd, offset, origin) >= 0 ? 1 : 0;
        };
        file.stream.tell = [](DXStream *s) -> int64_t { return vos_lseek(self(s)->fd, 0, 1); };
        file.stream.close = [](DXStream *s) {
            const int fd = self(s)->fd;
            self(s)->fd = -1;
            return fd < 0 ? -1 : vos_close(fd);
        };
        std::string text;
        void *doc = api.openDocument(filter, &file.stream);
        int status = doc ? api.openText(filter, doc) : -1;
        if (status == 0) {
            dxf::Utf16Joiner units;
            auto put = [&text](char32_t c) { dxf::append_utf8(text, c); };
            for (;;) {
                DXTextChunk chunk{nullptr, -1};
                if ((status = api.readText(filter, doc, &chunk, 0)) != 0 || chunk.length <= 0)
                    break;
                const auto *data = static_cast<const char16_t *>(chunk.data);
                for (int32_t k = 0; k < chunk.length / 2; ++k) units.Unit(data[k], put);
                std::free(chunk.data);
            }
            units.Finish(put);
        }
        if (!doc)
            std::fprintf(stderr, "dxtext: %s: not opened\n", argv[i]);
        else if (status != 0)
            std::fprintf(stderr, "dxtext: %s: text answer %d\n", argv[i], status);
        if (doc) api.closeDocument(filter, doc);
        text += "\f\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    api.shutdown(filter);
    return 0;
}
