// detect_languages.cpp - the glotta engine from C++: every candidate for each
// file named on the command line, with the engine's records held by small
// owning wrappers. Several files are detected at once on one engine: a
// context may be shared by any number of threads for detection.
#include <glotta/lang_api.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct EngineCloser {
    void operator()(LangContext *ctx) const { LangClose(ctx); }
};
using Engine = std::unique_ptr<LangContext, EngineCloser>;

// The candidates of one file as text, one per line.
std::string detect(LangContext *ctx, const char *path) {
    LangDetectInArg in{path, 0, 0, 0, nullptr, nullptr, nullptr};
    LangDetectOutArg out{0, nullptr};
    const int rc = LangDetect(ctx, &in, &out);
    if (rc != LANG_OK) return std::string(path) + ": " + LangErrorMsg(rc) + "\n";
    std::string text;
    char line[256];
    for (int i = 0; i < out.count; ++i) {
        const LangCandidate &c = out.candidates[i];
        std::snprintf(line, sizeof line, "%s: %s %s %.4f\n", path, c.language, c.charsetName,
                      static_cast<double>(c.score));
        text += line;
    }
    LangDetectOutArgFree(&out);
    return text;
}

}  // namespace

int main(int argc, char **argv) {
    LangContext *raw = nullptr;
    const int rc = LangInit(&raw, nullptr);
    if (rc < 0) {
        std::fprintf(stderr, "cannot start the engine: %d: %s\n", rc, LangErrorMsg(rc));
        return 1;
    }
    Engine engine(raw);

    std::vector<std::string> results(static_cast<size_t>(argc > 1 ? argc - 1 : 0));
    std::vector<std::thread> threads;
    for (int i = 1; i < argc; ++i) {
        threads.emplace_back([&, i] { results[i - 1] = detect(engine.get(), argv[i]); });
    }
    for (std::thread &t : threads) t.join();
    for (const std::string &r : results) std::fputs(r.c_str(), stdout);
    return 0;
}
