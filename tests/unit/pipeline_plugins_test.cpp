// Detection through the real plug-ins: an installation laid out around the
// built dxfilter.so and dxutil.so, the engine started by LangInit, documents
// of every kind detected through LangDetect.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/lang_api.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

const std::string kFilterBuild = std::string(GLOTTA_BINARY_DIR) + "/filters/dxfilter/";
const std::string kUtilBuild = std::string(GLOTTA_BINARY_DIR) + "/filters/dxutil/";
const std::string kDocs = std::string(GLOTTA_TEST_DATA) + "/dxfilter/";

class RealPlugins : public testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        const std::vector<std::string> plugins = {
            kFilterBuild + "dxfilter.so", kFilterBuild + "dxfilter_office.so",
            kFilterBuild + "dxfilter_pdf.so", kUtilBuild + "dxutil.so"};
        for (const std::string &p : plugins) {
            if (!fs::exists(p)) GTEST_SKIP() << p << " is not built (targets dxfilter, dxutil)";
        }
        root_.write("_linux/bin/flt_dx.so", "");
        const std::string filters = root_.mkdir("_linux/filters");
        for (const std::string &p : plugins) {
            fs::create_symlink(p, filters + "/" + fs::path(p).filename().string());
        }
        library_path_.emplace("LD_LIBRARY_PATH", root_.str("_linux/bin"));
        debug_.emplace("TOLMAR_LANG", std::nullopt);
        data_ = root_.mkdir("data");
        std::string list;
        for (const std::string &name : StandardProfiles(data_)) list += name + "\n";
        root_.write("data/langlist.cfg", list);
        LangInitArg arg{nullptr, data_.c_str()};
        ASSERT_EQ(LangInit(&ctx_, &arg), 0);
    }
    void TearDown() override { EXPECT_EQ(LangClose(ctx_), 0); }

    struct Result {
        int rc;
        std::vector<Candidate> list;
    };
    Result Detect(const std::string &path, const char *language = nullptr) {
        LangDetectInArg in{path.c_str(), 0, 0, 0, nullptr, language, nullptr};
        LangDetectOutArg out{0, nullptr};
        Result r;
        r.rc = LangDetect(ctx_, &in, &out);
        r.list = Take(out.candidates);
        return r;
    }
    std::string Doc(const std::string &name, const std::string &content) {
        return root_.write("docs/" + name, content);
    }

    TempDir root_;
    std::optional<EnvOverride> library_path_;
    std::optional<EnvOverride> debug_;
    std::string data_;
    LangContext *ctx_ = nullptr;
};

}  // namespace

TEST_F(RealPlugins, OfficeAndPdfDocumentsAreFiltered) {
    for (const char *lang : {"fr", "de", "en"}) {
        for (const char *ext : {"docx", "odt", "rtf", "pdf", "epub"}) {
            const std::string path = kDocs + "docs/" + lang + "." + ext;
            Result r = Detect(path);
            ASSERT_EQ(r.rc, 0) << path;
            ASSERT_FALSE(r.list.empty()) << path;
            EXPECT_EQ(r.list[0].language, lang) << path;
            for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "Unknown") << path;
        }
    }
}

TEST_F(RealPlugins, TextAndMarkupAreNotFiltered) {
    Result r = Detect(Doc("fr.txt", Latin1(ReadFile(Data("sample_fr.txt")))));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "fr");
    EXPECT_EQ(r.list[0].charset, "iso-8859-1");

    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1252\"></head><body><p>" +
        Latin1(ReadFile(Data("sample_de.txt"))) + "</p></body></html>\n";
    r = Detect(Doc("de.html", page));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "de");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "1252");
}

TEST_F(RealPlugins, ReferencesInLatin1MarkupAreConvertedByTheUtilityLibrary) {
    // Declared ISO-8859-1, with many references: the text goes to UTF-8
    // through dxutil and is classified among the UTF-8 profiles.
    std::string body;
    for (unsigned char c : Latin1(ReadFile(Data("train_fr.txt")))) {
        if (c >= 0x80) {
            body += "&#" + std::to_string(c) + ";";
        } else {
            body += static_cast<char>(c);
        }
    }
    body += " \xE9t\xE9";  // two raw Latin-1 bytes, so the bytes are not ASCII
    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=iso-8859-1\"></head><body><p>" +
        body + "</p></body></html>\n";
    Result r = Detect(Doc("fr.html", page));
    ASSERT_EQ(r.rc, 0);
    ASSERT_FALSE(r.list.empty());
    EXPECT_EQ(r.list[0].language, "fr");
    for (const Candidate &c : r.list) EXPECT_EQ(c.charset, "iso-8859-1");
}

TEST_F(RealPlugins, DocumentsTheFilterCannotRead) {
    for (const char *name : {"bad/truncated.docx", "bad/corrupt.odt", "bad/encrypted.pdf",
                             "bad/image-only.pdf", "bad/bomb.docx", "bad/unclosed.rtf"}) {
        Result r = Detect(kDocs + name);
        // Either a filter code or an answer; never a crash or a hang.
        EXPECT_TRUE(r.rc == 0 || r.rc == LANG_ERR_DXOPEN || r.rc == LANG_ERR_NOTFILTERABLE ||
                    r.rc == LANG_ERR_DXREAD)
            << name << " " << r.rc;
        if (r.rc == 0) {
            EXPECT_FALSE(r.list.empty()) << name;
        }
    }
}
