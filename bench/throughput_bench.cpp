// In-process detection throughput: the engine alone, without process
// start-up, list reading or result printing. Complements
// bench/throughput/run.sh, which times the installed tool end to end.
//
// Documents: the bulk list of bench/throughput/make_corpus.py, or the list
// named by GLOTTA_BENCH_LIST. The engine finds its plug-ins through
// LD_LIBRARY_PATH as usual, so run it with the installation's library
// directory in front, e.g.
//   LD_LIBRARY_PATH=out/prefix/_linux/bin build/bench/throughput_bench
// GLOTTA_BENCH_DATA names the language data directory when it is not the
// one derived from the filter installation.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/lang_api.h"

#ifndef GLOTTA_BENCH_WORK
#define GLOTTA_BENCH_WORK "bench/work"
#endif

namespace {

struct Document {
    std::string path;
    std::string bytes;
};

struct Corpus {
    std::vector<Document> docs;
    size_t total_bytes = 0;
    std::string error;
};

const Corpus &corpus() {
    static const Corpus c = [] {
        Corpus out;
        const char *env = std::getenv("GLOTTA_BENCH_LIST");
        std::string list = env ? env : GLOTTA_BENCH_WORK "/corpus/bulk.lst";
        std::ifstream in(list);
        if (!in) {
            out.error = "cannot open " + list + " (run bench/throughput/make_corpus.py)";
            return out;
        }
        std::string prefix;
        if (auto slash = list.rfind('/'); slash != std::string::npos && slash > 0)
            prefix = list.substr(0, slash);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            Document d;
            d.path = (line[0] == '/' || prefix.empty()) ? line : prefix + '/' + line;
            std::ifstream f(d.path, std::ios::binary);
            d.bytes.assign(std::istreambuf_iterator<char>(f), {});
            out.total_bytes += d.bytes.size();
            out.docs.push_back(std::move(d));
        }
        if (out.docs.empty()) out.error = "no documents in " + list;
        return out;
    }();
    return c;
}

struct Engine {
    LangContext *ctx = nullptr;
    int result = 0;
    Engine() {
        LangInitArg arg{nullptr, std::getenv("GLOTTA_BENCH_DATA")};
        result = LangInit(&ctx, &arg);
    }
    ~Engine() { LangClose(ctx); }
};

Engine &engine() {
    static Engine e;
    return e;
}

bool ready(benchmark::State &state) {
    if (!corpus().error.empty()) {
        state.SkipWithError(corpus().error.c_str());
        return false;
    }
    if (engine().result < 0) {
        static std::string msg;
        msg = "LangInit failed with " + std::to_string(engine().result) +
              " (is the plug-in directory on LD_LIBRARY_PATH?)";
        state.SkipWithError(msg.c_str());
        return false;
    }
    return true;
}

void run(benchmark::State &state, bool buffer_mode) {
    if (!ready(state)) return;
    const auto &docs = corpus().docs;
    size_t i = 0;
    int64_t bytes = 0;
    int64_t failures = 0;
    for (auto _ : state) {
        const Document &d = docs[i];
        if (++i == docs.size()) i = 0;
        LangDetectInArg in{};
        if (buffer_mode) {
            in.docData = d.bytes.data();
            in.docLength = static_cast<int32_t>(d.bytes.size());
            in.isBuffer = 1;
        } else {
            in.docData = d.path.c_str();
        }
        LangDetectOutArg out{};
        if (LangDetect(engine().ctx, &in, &out) != 0) ++failures;
        benchmark::DoNotOptimize(out.candidates);
        LangDetectOutArgFree(&out);
        bytes += static_cast<int64_t>(d.bytes.size());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes);
    state.counters["failures"] = static_cast<double>(failures);
    state.counters["corpus_docs"] = static_cast<double>(docs.size());
}

void BM_DetectFile(benchmark::State &state) {
    run(state, false);
}
void BM_DetectBuffer(benchmark::State &state) {
    run(state, true);
}

void BM_InitClose(benchmark::State &state) {
    for (auto _ : state) {
        LangContext *ctx = nullptr;
        LangInitArg arg{nullptr, std::getenv("GLOTTA_BENCH_DATA")};
        int rc = LangInit(&ctx, &arg);
        if (rc < 0) {
            state.SkipWithError("LangInit failed");
            break;
        }
        LangClose(ctx);
    }
}

}  // namespace

BENCHMARK(BM_DetectFile)->MinTime(2.0);
BENCHMARK(BM_DetectBuffer)->MinTime(2.0);
BENCHMARK(BM_InitClose)->Unit(benchmark::kMillisecond);
