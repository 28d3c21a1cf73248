#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "engine/filter_loader.h"
#include "engine_test_support.h"

using glotta_test::CallLog;
using glotta_test::EnvOverride;
using glotta_test::FakeDir;
using glotta_test::MakeInstallation;
using glotta_test::ReadFile;
using glotta_test::TempDir;
using Lines = std::vector<std::string>;

namespace {

// FindFilterPath with LD_LIBRARY_PATH set to `value`; "" when it fails.
std::string find_with(const std::string &value, int *code = nullptr) {
    EnvOverride env("LD_LIBRARY_PATH", value);
    char *out = reinterpret_cast<char *>(1);
    int rc = FindFilterPath(&out);
    if (code) *code = rc;
    std::string result = out ? out : "";
    if (rc != 0) {
        EXPECT_EQ(out, nullptr);
    }
    vos_free(out);
    return result;
}

// A zeroed context that releases what a test left in it.
struct Context {
    LangContext ctx{};
    ~Context() { LangDXClose(&ctx); }
};

}  // namespace

TEST(FindFilterPath, NullOutParameter) {
    EXPECT_EQ(FindFilterPath(nullptr), -19998);
}

TEST(FindFilterPath, UnsetVariable) {
    EnvOverride env("LD_LIBRARY_PATH", std::nullopt);
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(FindFilterPath(&out), -19987);
    EXPECT_EQ(out, nullptr);
}

TEST(FindFilterPath, MarkerDirectoryGivesItsSiblingFilters) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good", "opt/p");
    EXPECT_EQ(find_with(bin), root.str("opt/p/_linux/filters/"));
}

TEST(FindFilterPath, SecondEntryWhenOnlyItHoldsTheMarker) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good", "b");
    root.mkdir("a/bin");
    EXPECT_EQ(find_with(root.str("a/bin") + ":" + bin), root.str("b/_linux/filters/"));
}

TEST(FindFilterPath, QuotesBlanksAndTrailingSlashAreIgnored) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good");
    EXPECT_EQ(find_with(" \t\"" + bin + "/\" \t"), root.str("_linux/filters/"));
    EXPECT_EQ(find_with("\"" + bin + "\""), root.str("_linux/filters/"));
}

TEST(FindFilterPath, MarkerWithoutFilterLibraryIsPassedOver) {
    TempDir root;
    root.write("x/bin/flt_dx.so", "");
    root.mkdir("x/filters");  // no dxfilter.so in it
    std::string good = MakeInstallation(root, "good", "y");
    EXPECT_EQ(find_with(root.str("x/bin") + ":" + good), root.str("y/_linux/filters/"));
    int code = 0;
    EXPECT_EQ(find_with(root.str("x/bin"), &code), "");
    EXPECT_EQ(code, -19987);
}

TEST(FindFilterPath, FirstQualifyingEntryWins) {
    TempDir root;
    std::string first = MakeInstallation(root, "good", "one");
    std::string second = MakeInstallation(root, "good", "two");
    EXPECT_EQ(find_with(first + ":" + second), root.str("one/_linux/filters/"));
}

TEST(FindFilterPath, EmptyEntriesAreHarmless) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good");
    EXPECT_EQ(find_with("::" + bin), root.str("_linux/filters/"));
    int code = 0;
    EXPECT_EQ(find_with("", &code), "");
    EXPECT_EQ(code, -19987);
    EXPECT_EQ(find_with(":::", &code), "");
    EXPECT_EQ(code, -19987);
}

TEST(FindFilterPath, TrailingColonEndsTheSearch) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good");
    EXPECT_EQ(find_with(bin + ":"), root.str("_linux/filters/"));
    int code = 0;
    EXPECT_EQ(find_with(root.str("nothing") + ":", &code), "");
    EXPECT_EQ(code, -19987);
}

TEST(FindFilterPath, RelativeEntry) {
    TempDir root;
    MakeInstallation(root, "good", "rel");
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(root.path());
    EXPECT_EQ(find_with("rel/_linux/bin"), "rel/_linux/filters/");
    std::filesystem::current_path(cwd);
}

TEST(FindFilterPath, OverlongEntriesAreSkipped) {
    TempDir root;
    std::string bin = MakeInstallation(root, "good");
    std::string huge = "/" + std::string(1100, 'x');
    EXPECT_EQ(find_with(huge + ":" + bin), root.str("_linux/filters/"));
    // A real but too long directory: deep enough that the marker path needs
    // more than 1023 bytes.
    std::string deep = "d";
    while (root.str(deep).size() < 1030) deep += "/" + std::string(100, 'd');
    std::string longBin = MakeInstallation(root, "good", deep);
    int code = 0;
    EXPECT_EQ(find_with(longBin, &code), "");
    EXPECT_EQ(code, -19987);
    EXPECT_EQ(find_with(longBin + ":" + bin), root.str("_linux/filters/"));
}

TEST(LangDXInit, NullArguments) {
    EXPECT_EQ(LangDXInit(nullptr), -19998);
    LangContext ctx{};
    EXPECT_EQ(LangDXInit(&ctx), -19987);
    EXPECT_EQ(LangDXClose(nullptr), 0);
}

TEST(LangDXInit, StartsBothLibrariesInOrderAndStopsThemInReverse) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("good");
    c.ctx.filterPath = dir.data();
    ASSERT_EQ(LangDXInit(&c.ctx), 0);
    EXPECT_EQ(calls.lines(),
              (Lines{"filter.get_interface", "filter.initialise " + dir + " 51 0x1000000",
                     "util.create " + dir + " 0"}));
    ASSERT_NE(c.ctx.filterMutex, nullptr);
    EXPECT_EQ(c.ctx.filterMutex->state, 2);
    EXPECT_EQ(c.ctx.filterMutex->flags, 0);
    EXPECT_NE(c.ctx.filterLib, nullptr);
    EXPECT_NE(c.ctx.utilLib, nullptr);
    EXPECT_NE(c.ctx.filterHandle, nullptr);
    EXPECT_NE(c.ctx.zapiServices, nullptr);
    EXPECT_NE(c.ctx.filterInterface.initialise, nullptr);

    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    // The recorder prints 1 when the handle passed is the one it handed out.
    EXPECT_EQ(calls.lines(), (Lines{"filter.shutdown 1", "util.destroy 1"}));
    EXPECT_EQ(c.ctx.filterMutex, nullptr);
    EXPECT_EQ(c.ctx.filterHandle, nullptr);
    EXPECT_EQ(c.ctx.utilLib, nullptr);
    EXPECT_EQ(c.ctx.filterLib, nullptr);
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);  // a second teardown does nothing
    EXPECT_EQ(calls.lines(), Lines{});
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, MissingFilterLibrary) {
    TempDir empty;
    Context c;
    std::string dir = empty.str() + "/";
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19987);
    EXPECT_EQ(c.ctx.filterMutex, nullptr);
    EXPECT_EQ(c.ctx.filterLib, nullptr);
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, UnloadableFilterLibrary) {
    TempDir dir;
    dir.write("dxfilter.so", "not a shared object\n");
    Context c;
    std::string path = dir.str() + "/";
    c.ctx.filterPath = path.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19986);
    EXPECT_NE(c.ctx.filterMutex, nullptr);
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, MissingEntryPoint) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("no_filter_entry");
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19986);
    EXPECT_EQ(calls.lines(), Lines{});
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    EXPECT_EQ(calls.lines(), Lines{});
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, InitialiseReturningNull) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("init_null");
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19986);
    EXPECT_EQ(c.ctx.utilLib, nullptr);
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    EXPECT_EQ(calls.lines(), Lines{});  // nothing started, nothing to stop
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, MissingUtilityLibraryShutsTheFilterDownAgain) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("no_util");
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19987);
    EXPECT_NE(c.ctx.filterHandle, nullptr);
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    EXPECT_EQ(calls.lines(), Lines{"filter.shutdown 1"});
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, MissingServicesEntryPoint) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("no_util_entry");
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19986);
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    // The destroy entry point exists and is called with the (null) services.
    EXPECT_EQ(calls.lines(), (Lines{"filter.shutdown 1", "util.destroy 0"}));
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, ServicesReturningNull) {
    CallLog calls;
    Context c;
    std::string dir = FakeDir("services_null");
    c.ctx.filterPath = dir.data();
    EXPECT_EQ(LangDXInit(&c.ctx), -19986);
    EXPECT_EQ(calls.lines().back(), "util.create " + dir + " 0");
    calls.clear();
    EXPECT_EQ(LangDXClose(&c.ctx), 0);
    EXPECT_EQ(calls.lines(), (Lines{"filter.shutdown 1", "util.destroy 0"}));
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, DebugLogLines) {
    Context c;
    std::string dir = FakeDir("good");
    c.ctx.filterPath = dir.data();
    c.ctx.debug = 1;
    c.ctx.logFile = tmpfile();
    ASSERT_NE(c.ctx.logFile, nullptr);
    ASSERT_EQ(LangDXInit(&c.ctx), 0);
    ASSERT_EQ(LangDXClose(&c.ctx), 0);
    std::string text(4096, '\0');
    rewind(c.ctx.logFile);
    text.resize(fread(text.data(), 1, text.size(), c.ctx.logFile));
    EXPECT_EQ(text, "Loading DX filter from: " + dir + "dxfilter.so\n" +
                        "Loading DX util from: " + dir + "dxutil.so\n" +
                        "Shutdown Dexfil Filters\n"
                        "Unloading dxutil library\n");
    fclose(c.ctx.logFile);
    c.ctx.logFile = nullptr;
    c.ctx.filterPath = nullptr;
}

TEST(LangDXInit, OutOfMemoryForTheMutex) {
    Context c;
    std::string dir = FakeDir("good");
    c.ctx.filterPath = dir.data();
    vos_fail_alloc_after(0);
    int rc = LangDXInit(&c.ctx);
    vos_fail_alloc_after(-1);
    EXPECT_EQ(rc, -19997);
    EXPECT_EQ(c.ctx.filterLib, nullptr);
    c.ctx.filterPath = nullptr;
}

TEST(LangDXClose, BrokenMutexIsReported) {
    LangContext ctx{};
    ctx.filterMutex = static_cast<VosMutex *>(vos_calloc(1, sizeof(VosMutex)));
    // Never initialised: destroying it fails.
    EXPECT_EQ(LangDXClose(&ctx), -19982);
    EXPECT_EQ(ctx.filterMutex, nullptr);
}
