// The filter plug-in loaded as the engine loads it, for the tests of
// dxfilter.so and its modules: documents read through the stream callbacks,
// the text the engine would get, and the table of sample documents.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_TEST_SUPPORT_H
#define GLOTTA_TESTS_UNIT_DXFILTER_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "engine_test_support.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/sniff.h"
#include "pipeline_test_support.h"
#include "platform/vos.h"

namespace dxfilter_test {

inline constexpr const char *kFilterDir = GLOTTA_BINARY_DIR "/filters/dxfilter/";
inline const std::string kData = GLOTTA_TEST_DATA "/dxfilter/";
inline constexpr size_t kTextCap = 512 * 1024 + 1;  // UTF-16 units a document may give

// `bytes` as the format rules and the readers take them.
inline std::span<const unsigned char> AsBytes(std::string_view bytes) {
    return {reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()};
}

// The format the rules give a document of `size` bytes (by default those of
// `doc`) from its head, the first kSniffBytes of `doc`.
inline int Sniffed(std::string_view doc, uint64_t size) {
    return dxf::SniffHead(AsBytes(doc.substr(0, dxf::kSniffBytes)), size).format;
}
inline int Sniffed(std::string_view doc) {
    return Sniffed(doc, doc.size());
}

// `v` as `n` big-endian bytes, and as `n` little-endian ones.
inline std::string Be(uint64_t v, int n) {
    std::string s;
    while (n--) s += static_cast<char>(v >> (8 * n));
    return s;
}
inline std::string Le(uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

// A file read through the five callbacks, counting opens and closes.
struct FileStream {
    DXStream stream{};
    std::string path;
    int fd = -1, opens = 0, closes = 0;

    static FileStream *self(DXStream *s) { return static_cast<FileStream *>(s->record); }
    explicit FileStream(std::string p) : path(std::move(p)) {
        stream.record = this;
        stream.open = [](DXStream *s) {
            ++self(s)->opens;
            self(s)->fd = vos_open(self(s)->path.c_str(), VOS_O_RDONLY);
            return self(s)->fd >= 0 ? 1 : 0;
        };
        stream.read = [](DXStream *s, void *buffer, int count) {
            return static_cast<int>(vos_read(self(s)->fd, buffer, static_cast<size_t>(count)));
        };
        stream.seek = [](DXStream *s, int64_t offset, int origin) {
            return vos_lseek(self(s)->fd, offset, origin) >= 0 ? 1 : 0;
        };
        stream.tell = [](DXStream *s) -> int64_t { return vos_lseek(self(s)->fd, 0, 1); };
        stream.close = [](DXStream *s) {
            ++self(s)->closes;
            int fd = std::exchange(self(s)->fd, -1);
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

    std::string utf8() const {
        static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
            while (tail--) out += static_cast<char>(0x80 | ((c >> (6 * tail)) & 0x3F));
        }
        return out;
    }
};

// A document with more text than the cap: it opens and reads without an
// error, and its text ends within the last hundred units of the cap.
inline void ExpectFilledToTheCap(const Extraction &r) {
    ASSERT_TRUE(r.opened && r.openText == 0) << r.readError;
    EXPECT_EQ(r.readError, 0);
    EXPECT_GE(r.text.size(), kTextCap - 100);
    EXPECT_LE(r.text.size(), kTextCap);
}

// The built plug-in (or the one in the filter directory `dir`), started as
// the engine starts it.
struct Plugin {
    explicit Plugin(const std::string &dir = kFilterDir) {
        void *lib = vos_dlopen((dir + "dxfilter.so").c_str(), VOS_RTLD_LAZY);
        auto get = reinterpret_cast<DXGetFilterInterfaceFn>(
            lib ? vos_dlsym(lib, "DX_GetFilterInterface") : nullptr);
        if (!get) return;
        get(&api);
        auto getIdentify = reinterpret_cast<DXGetIdentifyInterfaceFn>(
            vos_dlsym(lib, DX_SYM_GET_IDENTIFY_INTERFACE));
        if (getIdentify) getIdentify(&identify);
        handle =
            api.initialise(nullptr, nullptr, dir.c_str(), DX_INIT_CHARSET_UNICODE, DX_INIT_FLAGS);
    }
    ~Plugin() {
        if (handle) api.shutdown(handle);
    }

    // The format file information gives for `path`. For a regular file the
    // engine's way, the head's bytes and then the open descriptor, must give
    // the same, and leave the descriptor where it was.
    int Format(const std::string &path) {
        DXFileInfo info;
        std::memset(&info, 0xAB, sizeof info);
        api.fileInformation(handle, path.c_str(), &info);
        const int format = static_cast<int>(info.word[DX_FILEINFO_FORMAT_WORD]);
        struct stat st {};
        const int fd = vos_open_regular(path.c_str(), VOS_O_RDONLY, &st);
        if (fd < 0) return format;
        std::vector<unsigned char> head(
            static_cast<size_t>(std::min<off_t>(st.st_size, DX_HEAD_BYTES)));
        EXPECT_EQ(pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        const DXDocumentHead record{head.data(), static_cast<int64_t>(head.size()), st.st_size, fd};
        std::memset(&info, 0xAB, sizeof info);
        const int settled = identify.identifyHead(nullptr, &record, &info);
        EXPECT_EQ(info.word[DX_FILEINFO_SIZE_WORD], sizeof info);
        if (settled != 0) {
            EXPECT_EQ(settled, 1) << path;
            EXPECT_EQ(info.word[DX_FILEINFO_FORMAT_WORD], 0u) << path;
            std::memset(&info, 0xAB, sizeof info);
            EXPECT_EQ(identify.identifyOpenFile(handle, &record, &info), 0) << path;
        }
        EXPECT_EQ(static_cast<int>(info.word[DX_FILEINFO_FORMAT_WORD]), format) << path;
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0) << path;
        close(fd);
        return format;
    }

    // Runs a document the way the engine's filtering does.
    Extraction Extract(const std::string &path) {
        Extraction r;
        FileStream fs(path);
        void *doc = api.openDocument(handle, &fs.stream);
        r.opened = doc != nullptr;
        if (doc && (r.openText = api.openText(handle, doc)) == 0) {
            for (DXTextChunk chunk{nullptr, -1};; chunk = {nullptr, -1}) {
                if ((r.readError = api.readText(handle, doc, &chunk, 0)) != 0) break;
                if (chunk.length == 0) {
                    DXTextChunk again{nullptr, -1};
                    r.endRepeats = api.readText(handle, doc, &again, 0) == 0 && again.length == 0 &&
                                   again.data == nullptr;
                    break;
                }
                ++r.chunks;
                const auto *units = static_cast<const char16_t *>(chunk.data);
                size_t n = static_cast<size_t>(chunk.length) / 2;
                r.splitPair |= n > 0 && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF;
                r.text.append(units, n);
                free(chunk.data);
            }
        }
        if (doc) api.closeDocument(handle, doc);
        r.opens = fs.opens;
        r.closes = fs.closes;
        return r;
    }

    DXFilterInterface api{};
    DXIdentifyInterface identify{};
    void *handle = nullptr;
};

// A sink that appends the text it is given to `out`.
inline DXMSink AppendingSink(std::string &out) {
    return {&out,
            [](void *self, const char *utf8, size_t n) {
                static_cast<std::string *>(self)->append(utf8, n);
                return 0;
            },
            [](void *) {}};
}

// What a line stripper that `make` returns (TroffStripper, TexStripper)
// makes of `source` in one piece, checked against the same fed byte by byte
// and in pieces of 7 bytes.
template <class Make>
std::string FedInPieces(const std::string &source, Make make) {
    auto run = [&](size_t step) {
        std::string out;
        DXMSink sink = AppendingSink(out);
        auto stripper = make();
        if (source.empty()) {
            EXPECT_TRUE(stripper.Feed("", true, &sink));
        }
        for (size_t i = 0; i < source.size(); i += step)
            EXPECT_TRUE(stripper.Feed(std::string_view(source).substr(i, step),
                                      i + step >= source.size(), &sink));
        return out;
    };
    const std::string whole = run(source.size() + 1);
    EXPECT_EQ(run(1), whole) << source;
    EXPECT_EQ(run(7), whole) << source;
    return whole;
}

// One row of tests/data/dxfilter/formats.tsv.
struct Sample {
    std::string file;
    int format = 0;
    std::string word;  // "-" when the sample yields no text to check
};

inline std::vector<Sample> LoadSamples() {
    std::vector<Sample> rows;
    std::ifstream in(kData + "formats.tsv");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Sample s;
        std::getline(fields, s.file, '\t');
        fields >> s.format;
        fields.ignore();
        std::getline(fields, s.word, '\t');
        rows.push_back(s);
    }
    return rows;
}

// One plug-in for a whole suite, and a scratch directory per test.
class PluginTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { plugin = new Plugin(); }
    static void TearDownTestSuite() {
        delete plugin;
        plugin = nullptr;
    }
    void SetUp() override { ASSERT_NE(plugin->handle, nullptr) << "dxfilter.so did not start"; }
    std::string Temp(const std::string &name, const std::string &bytes) {
        return dir_.write(name, bytes);
    }
    static std::string Data(const std::string &file) { return kData + file; }
    static std::string Bytes(const std::string &file) {
        return glotta_test::ReadFile(kData + file);
    }
    static inline Plugin *plugin = nullptr;
    glotta_test::TempDir dir_;
};

// Reproducible damage for the tests that readers survive any input: the
// same seed gives the same bytes on every machine and run.
class Mutator {
  public:
    explicit Mutator(uint32_t seed) : state_(seed) {}
    uint32_t Next() { return state_ = state_ * 1103515245u + 12345u; }
    // `bytes` with `count` bytes at or after `from` overwritten; each draw
    // takes the value, then the place.
    std::string Overwrite(std::string bytes, int count, size_t from = 0) {
        if (bytes.size() <= from) return bytes;
        for (int k = 0; k < count; ++k) {
            const auto value = static_cast<char>(Next() >> 24);
            bytes[from + Next() % (bytes.size() - from)] = value;
        }
        return bytes;
    }
    // `bytes` cut to a length below its own.
    std::string Cut(std::string bytes) {
        if (!bytes.empty()) bytes.resize(Next() % bytes.size());
        return bytes;
    }

  private:
    uint32_t state_;
};

// Tests of one legacy Office reader: each document is written to a temporary
// file with that format's extension and extracted through the plug-in.
class OleReaderTest : public PluginTest {
  protected:
    explicit OleReaderTest(std::string fileName) : fileName_(std::move(fileName)) {}
    Extraction Run(const std::string &bytes) { return plugin->Extract(Temp(fileName_, bytes)); }
    // The format of `bytes` in a file whose name tells nothing.
    int FormatOf(const std::string &bytes) { return plugin->Format(Temp("f.bin", bytes)); }
    // The text of a document that must read without an error.
    std::string Text(const std::string &bytes) {
        Extraction r = Run(bytes);
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
        EXPECT_TRUE(r.opens == 1 && r.closes == 1);
        return r.utf8();
    }
    // A document that opens but whose text is refused.
    void ExpectRefused(const std::string &bytes, const std::string &what) {
        Extraction r = Run(bytes);
        EXPECT_TRUE(r.opened) << what;
        EXPECT_NE(r.openText, 0) << what;
        EXPECT_TRUE(r.text.empty()) << what;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << what;
    }
    // A damaged document: reading ends, opens and closes it once and gives
    // at most `maxUnits` UTF-16 units.
    void ExpectBounded(const std::string &bytes, size_t maxUnits, const std::string &what) {
        Extraction r = Run(bytes);
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << what;
        EXPECT_LE(r.text.size(), maxUnits) << what;
    }
    // Every cut of `bytes`, its first 0, `stride`, 2 `stride` … bytes (below
    // its length), is bounded.
    void ExpectCutsBounded(const std::string &bytes, size_t stride, size_t maxUnits,
                           const std::string &what = "") {
        for (size_t cut = 0; cut < bytes.size(); cut += stride)
            ExpectBounded(bytes.substr(0, cut), maxUnits, what + " cut " + std::to_string(cut));
    }
    // Damaged copies of a document, drawn from a Mutator: `rounds` copies,
    // round r with 1 + r % `most` bytes at or after `from` overwritten, or,
    // when `cutEvery` is not 0, cut in rounds cutEvery - 1, 2 cutEvery - 1 ….
    struct Damage {
        int rounds;
        int most;
        size_t from = 0;
        int cutEvery = 0;
    };
    // Every damaged copy of `bytes` is bounded.
    void ExpectDamageBounded(Mutator &m, const std::string &bytes, Damage damage, size_t maxUnits,
                             const std::string &what = "") {
        for (int round = 0; round < damage.rounds; ++round) {
            const bool cut = damage.cutEvery != 0 && round % damage.cutEvery == damage.cutEvery - 1;
            ExpectBounded(
                cut ? m.Cut(bytes) : m.Overwrite(bytes, 1 + round % damage.most, damage.from),
                maxUnits, what + " round " + std::to_string(round));
        }
    }

    // Cut and overwritten copies of `doc` (from byte 200 on), drawn from a
    // Mutator seeded with `seed`, end, open and close once and stay within
    // the text cap.
    void ExpectMutationsEndCleanly(const std::string &doc, uint32_t seed) {
        Mutator mutate(seed);
        ExpectDamageBounded(mutate, doc, {60, 7, 200, 3}, kTextCap, std::to_string(seed));
    }

  private:
    std::string fileName_;
};

// The engine takes filtered text for UTF-16 only when it holds more than five
// line feeds, or more than one per hundred characters, in what it keeps.
inline bool recognisable_as_utf16(const std::u16string &text) {
    size_t n = std::min<size_t>(text.size(), 2048),
           feeds = std::count(text.begin(), text.begin() + n, u'\n');
    return feeds > 5 || feeds * 100 > n;
}

}  // namespace dxfilter_test

#endif
