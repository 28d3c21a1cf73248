#include <gtest/gtest.h>
#include <dlfcn.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "engine/filter_loader.h"
#include "engine/lang_context.h"
#include "platform/plugin_search.h"
#include "engine_test_support.h"

using glotta_test::CallLog;
using glotta_test::EnvOverride;
using glotta_test::FakeDir;
using glotta_test::MakeInstallation;
using glotta_test::TempDir;
using Lines = std::vector<std::string>;

namespace {

// FindFilterPath with LD_LIBRARY_PATH set to `value` (unset for nullopt);
// "" when it fails, which must be with -19987 and a null result.
std::string find_with(std::optional<std::string> value) {
    EnvOverride env("LD_LIBRARY_PATH", value);
    char *out = reinterpret_cast<char *>(1);
    int rc = FindFilterPath(&out);
    std::string result = out ? out : "";
    if (rc != 0) {
        EXPECT_EQ(rc, -19987);
        EXPECT_EQ(out, nullptr);
    }
    vos_free(out);
    return result;
}

// A zeroed context on one filter directory, released at the end.
struct Context {
    explicit Context(std::string dir) : dir_(std::move(dir)) { ctx.filterPath = dir_.data(); }
    ~Context() {
        LangDXClose(&ctx);
        ctx.filterPath = nullptr;
    }
    std::string dir_;
    LangContext ctx{};
};

}  // namespace

TEST(FindFilterPath, SearchRules) {
    EXPECT_EQ(FindFilterPath(nullptr), -19998);
    TempDir root;
    const std::string one = MakeInstallation(root, "good", "one");
    const std::string two = MakeInstallation(root, "good", "two");
    root.write("bare/bin/flt_dx.so", "");  // a marker whose filters/ lacks the library
    root.mkdir("bare/filters");
    const std::string bare = root.str("bare/bin"), empty = root.mkdir("empty/bin");
    std::string deep = "d";  // a real installation whose marker path exceeds 1023 bytes
    while (root.str(deep).size() < 1030) deep += "/" + std::string(100, 'd');
    const std::string tooLong = MakeInstallation(root, "good", deep);
    const std::string first = root.str("one/_linux/filters/");
    const std::string second = root.str("two/_linux/filters/");
    struct {
        std::optional<std::string> value;
        std::string expected;
    } cases[] = {{std::nullopt, ""},
                 {"", ""},
                 {":::", ""},
                 {one, first},
                 {empty + ":" + two, second},
                 {one + ":" + two, first},
                 {" \t\"" + one + "/\" \t", first},
                 {"\"" + one + "\"", first},
                 {bare + ":" + two, second},
                 {bare, ""},
                 {"::" + one, first},
                 {one + ":", first},
                 {root.str("nothing") + ":", ""},
                 {"/" + std::string(1100, 'x') + ":" + one, first},
                 {tooLong, ""},
                 {tooLong + ":" + two, second}};
    for (const auto &c : cases)
        EXPECT_EQ(find_with(c.value), c.expected) << c.value.value_or("(unset)");

    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(root.path());
    EXPECT_EQ(find_with("one/_linux/bin"), "one/_linux/filters/");
    std::filesystem::current_path(cwd);
}

TEST(LangDXInit, StartsBothLibrariesInOrderAndStopsThemInReverse) {
    EXPECT_EQ(LangDXInit(nullptr), -19998);
    LangContext none{};
    EXPECT_EQ(LangDXInit(&none), -19987);
    EXPECT_EQ(LangDXClose(nullptr), 0);

    CallLog calls;
    Context c(FakeDir("good"));
    ASSERT_EQ(LangDXInit(&c.ctx), 0);
    EXPECT_EQ(calls.lines(),
              (Lines{"filter.get_interface", "filter.initialise " + c.dir_ + " 51 0x1000000",
                     "util.create " + c.dir_ + " 0"}));
    ASSERT_NE(c.ctx.filterMutex, nullptr);
    EXPECT_TRUE(c.ctx.filterMutex->state == 2 && c.ctx.filterMutex->flags == 0);
    EXPECT_TRUE(c.ctx.filterLib && c.ctx.utilLib && c.ctx.filterHandle && c.ctx.zapiServices);
    EXPECT_NE(c.ctx.filterInterface.initialise, nullptr);

    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    // The recorder prints 1 when the handle passed is the one it handed out.
    EXPECT_EQ(calls.lines(), (Lines{"filter.shutdown 1", "util.destroy 1"}));
    EXPECT_TRUE(!c.ctx.filterMutex && !c.ctx.filterHandle && !c.ctx.utilLib && !c.ctx.filterLib);
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);  // a second teardown does nothing
    EXPECT_EQ(calls.lines(), Lines{});
}

TEST(LangDXInit, FailuresReleaseWhatWasStarted) {
    TempDir junk;
    junk.write("dxfilter.so", "not a shared object\n");
    struct {
        std::string dir;
        int code;
        Lines teardown;  // the calls LangDXClose makes afterwards
    } cases[] = {{junk.str("none") + "/", -19987, {}},
                 {junk.str() + "/", -19986, {}},
                 {FakeDir("no_filter_entry"), -19986, {}},
                 {FakeDir("init_null"), -19986, {}},
                 {FakeDir("no_util"), -19987, {"filter.shutdown 1"}},
                 // The destroy entry point exists and is called with the (null) services.
                 {FakeDir("no_util_entry"), -19986, {"filter.shutdown 1", "util.destroy 0"}},
                 {FakeDir("services_null"), -19986, {"filter.shutdown 1", "util.destroy 0"}}};
    for (const auto &row : cases) {
        CallLog calls;
        Context c(row.dir);
        EXPECT_EQ(LangDXInit(&c.ctx), row.code) << row.dir;
        calls.clear();
        EXPECT_EQ(LangDXClose(&c.ctx), 0) << row.dir;
        EXPECT_EQ(calls.lines(), row.teardown) << row.dir;
        EXPECT_EQ(c.ctx.filterMutex, nullptr) << row.dir;
    }
}

TEST(LangDXInit, DebugLogLines) {
    Context c(FakeDir("good"));
    c.ctx.debug = 1;
    c.ctx.logFile = tmpfile();
    ASSERT_NE(c.ctx.logFile, nullptr);
    ASSERT_EQ(LangDXInit(&c.ctx), 0);
    ASSERT_EQ(LangDXClose(&c.ctx), 0);
    EXPECT_EQ(glotta_test::LogText(c.ctx.logFile),
              "Loading DX filter from: " + c.dir_ + "dxfilter.so\n" + "Loading DX util from: " +
                  c.dir_ + "dxutil.so\n" + "Shutdown Dexfil Filters\nUnloading dxutil library\n");
    fclose(c.ctx.logFile);
    c.ctx.logFile = nullptr;
}

TEST(LangDXInit, OutOfMemoryAndBrokenMutex) {
    Context c(FakeDir("good"));
    vos_fail_alloc_after(0);
    int rc = LangDXInit(&c.ctx);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(rc, -19997);
    EXPECT_EQ(c.ctx.filterLib, nullptr);

    LangContext ctx{};
    ctx.filterMutex = static_cast<VosMutex *>(vos_calloc(1, sizeof(VosMutex)));
    EXPECT_EQ(LangDXClose(&ctx), -19982);  // never initialised: destroying it fails
    EXPECT_EQ(ctx.filterMutex, nullptr);
}

// The installation a shared object was loaded from: PREFIX/lib/libX.so has
// its plug-ins in PREFIX/_linux/filters/, when the filter library is there.
TEST(FindPluginDirBeside, InstallationOfTheLoadedObject) {
    TempDir root;
    MakeInstallation(root, "good", "p");
    root.mkdir("p/lib");
    root.mkdir("q/lib");
    // Copies: a file loaded before under another name would keep that name.
    std::filesystem::copy_file(FakeDir("good") + "dxutil.so", root.str("p/lib/libx.so"));
    std::filesystem::copy_file(FakeDir("good") + "dxutil.so", root.str("q/lib/libx.so"));
    const struct {
        std::string object;
        std::string want;  // "" when there is no installation
    } cases[] = {{root.str("p/lib/libx.so"),
                  std::filesystem::canonical(root.path()).string() + "/p/_linux/filters/"},
                 // Loaded through a path with ".." in it.
                 {root.str("q/../p/lib/libx.so"),
                  std::filesystem::canonical(root.path()).string() + "/p/_linux/filters/"},
                 {root.str("q/lib/libx.so"), ""}};
    for (const auto &c : cases) {
        void *library = dlopen(c.object.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        const void *address = dlsym(library, "DXSACreateZAPIServices");
        ASSERT_NE(address, nullptr);
        std::string found;
        const glotta::PluginSearch rc = glotta::FindPluginDirBeside(address, "dxfilter.so", &found);
        EXPECT_EQ(rc, c.want.empty() ? glotta::PluginSearch::kNone : glotta::PluginSearch::kFound);
        EXPECT_EQ(found, c.want) << c.object;
        dlclose(library);
    }
    std::string found;
    EXPECT_EQ(glotta::FindPluginDirBeside(nullptr, "dxfilter.so", &found),
              glotta::PluginSearch::kNone);
    int onStack = 0;  // in no shared object
    EXPECT_EQ(glotta::FindPluginDirBeside(&onStack, "dxfilter.so", &found),
              glotta::PluginSearch::kNone);
}
