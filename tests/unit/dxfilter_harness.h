// dxfilter_harness.h - loads the built filter plug-in for the dxfilter tests
// and feeds it documents through a stream of the tests' own.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_HARNESS_H
#define GLOTTA_TESTS_UNIT_DXFILTER_HARNESS_H

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "platform/vos.h"

namespace dxtest {

inline constexpr const char *kFilterDir = GLOTTA_BINARY_DIR "/filters/dxfilter/";
inline constexpr const char *kData = GLOTTA_TEST_DATA "/dxfilter/";

// A file read through the five callbacks, counting what the plug-in did.
struct FileStream {
    DXStream stream{};
    std::string path;
    int fd = -1;
    int opens = 0, closes = 0, reads = 0;

    explicit FileStream(std::string p) : path(std::move(p)) {
        stream.record = this;
        stream.open = [](DXStream *s) {
            auto *self = static_cast<FileStream *>(s->record);
            ++self->opens;
            self->fd = vos_open(self->path.c_str(), VOS_O_RDONLY);
            return self->fd >= 0 ? 1 : 0;
        };
        stream.read = [](DXStream *s, void *buffer, int count) {
            auto *self = static_cast<FileStream *>(s->record);
            ++self->reads;
            return static_cast<int>(vos_read(self->fd, buffer, static_cast<size_t>(count)));
        };
        stream.seek = [](DXStream *s, int64_t offset, int origin) {
            auto *self = static_cast<FileStream *>(s->record);
            return vos_lseek(self->fd, offset, origin) >= 0 ? 1 : 0;
        };
        stream.tell = [](DXStream *s) -> int64_t {
            auto *self = static_cast<FileStream *>(s->record);
            return vos_lseek(self->fd, 0, 1);
        };
        stream.close = [](DXStream *s) {
            auto *self = static_cast<FileStream *>(s->record);
            ++self->closes;
            int fd = self->fd;
            self->fd = -1;
            return fd < 0 ? -1 : vos_close(fd);
        };
    }
    ~FileStream() {
        if (fd >= 0) vos_close(fd);
    }
};

// What the engine would get from one document.
struct Extraction {
    bool opened = false;  // open document gave a handle
    int openText = -1;    // open text answer
    int readError = 0;    // first non-zero read text answer
    std::u16string text;  // all text read
    int chunks = 0;
    bool splitPair = false;   // a chunk ended inside a surrogate pair
    bool endRepeats = false;  // read text after the end answered 0 with no text again
    int opens = 0, closes = 0;
};

inline std::string to_utf8(const std::u16string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

class Plugin {
  public:
    Plugin() {
        std::string path = std::string(kFilterDir) + "dxfilter.so";
        lib_ = vos_dlopen(path.c_str(), VOS_RTLD_LAZY);
        if (!lib_) return;
        auto get =
            reinterpret_cast<DXGetFilterInterfaceFn>(vos_dlsym(lib_, "DX_GetFilterInterface"));
        if (!get) return;
        get(&api);
        handle =
            api.initialise(nullptr, nullptr, kFilterDir, DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
    }
    ~Plugin() {
        if (handle) api.shutdown(handle);
    }
    bool ok() const { return handle != nullptr; }

    int Format(const std::string &path) {
        DXFileInfo info;
        std::memset(&info, 0xAB, sizeof info);
        api.fileInformation(handle, path.c_str(), &info);
        return static_cast<int>(info.word[DX_FILEINFO_FORMAT_WORD]);
    }

    // Runs a document the way the engine's filtering does, reading at most
    // `maxChunks` chunks.
    Extraction Extract(const std::string &path, int maxChunks = 1 << 20) {
        Extraction r;
        FileStream fs(path);
        void *doc = api.openDocument(handle, &fs.stream);
        r.opened = doc != nullptr;
        if (doc) {
            r.openText = api.openText(handle, doc);
            if (r.openText == 0) {
                for (int i = 0; i < maxChunks; ++i) {
                    DXTextChunk chunk{nullptr, -1};
                    int rc = api.readText(handle, doc, &chunk, 0);
                    if (rc != 0) {
                        r.readError = rc;
                        break;
                    }
                    if (chunk.length == 0) {
                        DXTextChunk again{nullptr, -1};
                        r.endRepeats = api.readText(handle, doc, &again, 0) == 0 &&
                                       again.length == 0 && again.data == nullptr;
                        break;
                    }
                    ++r.chunks;
                    const auto *units = static_cast<const char16_t *>(chunk.data);
                    size_t n = static_cast<size_t>(chunk.length) / 2;
                    if (n > 0 && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF)
                        r.splitPair = true;
                    r.text.append(units, n);
                    free(chunk.data);
                }
            }
            api.closeDocument(handle, doc);
        }
        r.opens = fs.opens;
        r.closes = fs.closes;
        return r;
    }

    DXFilterInterface api{};
    void *handle = nullptr;

  private:
    void *lib_ = nullptr;
};

// One row of tests/data/dxfilter/formats.tsv.
struct Sample {
    std::string file;
    int format;
    std::string word;  // "-" when the sample yields no text to check
};

inline std::vector<Sample> LoadSamples() {
    std::vector<Sample> rows;
    std::ifstream in(std::string(kData) + "formats.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Sample s;
        std::string code;
        std::getline(fields, s.file, '\t');
        std::getline(fields, code, '\t');
        std::getline(fields, s.word, '\t');
        s.format = std::atoi(code.c_str());
        rows.push_back(s);
    }
    return rows;
}

}  // namespace dxtest

#endif
