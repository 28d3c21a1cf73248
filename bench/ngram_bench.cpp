// ngram_bench.cpp - n-gram classification costs: building a document profile
// and scoring it against 150 language models, exactly (NgramPrfCompute per
// model) and through the model index (NgramIdxScore). Items are documents.
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ngram/model_index.h"
#include "ngram/profile.h"

namespace {

constexpr int kModels = 150;
constexpr int kDocuments = 64;
constexpr size_t kDocumentBytes = 2048;  // the default detection size

struct ProfileDeleter {
    void operator()(NgramProfile *profile) const { NgramPrfDestroy(profile); }
};
using ProfilePtr = std::unique_ptr<NgramProfile, ProfileDeleter>;

// A synthetic language: its own letters and a vocabulary drawn with Zipf-like
// frequencies, so that models overlap the way related languages do.
struct Language {
    std::vector<std::string> words;

    explicit Language(std::mt19937 &rng) {
        std::string letters = "abcdefghijklmnopqrstuvwxyz\xE0\xE4\xE9\xF6\xFC\xDF\xE7\xF1";
        std::shuffle(letters.begin(), letters.end(), rng);
        letters.resize(14 + rng() % 14);
        std::uniform_int_distribution<size_t> letter(0, letters.size() - 1);
        std::uniform_int_distribution<int> length(1, 10);
        for (int w = 0; w < 3000; ++w) {
            std::string word;
            for (int n = length(rng); n > 0; --n) word.push_back(letters[letter(rng)]);
            if (w % 9 == 0)
                word[0] = static_cast<char>(word[0] - 32 * (word[0] >= 'a' && word[0] <= 'z'));
            words.push_back(word);
        }
    }

    std::string text(std::mt19937 &rng, size_t size) const {
        // Zipf-like: index = words * u^3 favours the first words.
        std::uniform_real_distribution<double> u(0.0, 1.0);
        static const char *const separators[] = {" ", " ", " ", " ", ", ", ". ", "\n", " 12 "};
        std::string out;
        while (out.size() < size) {
            const double x = u(rng);
            out += words[static_cast<size_t>(x * x * x * static_cast<double>(words.size()))];
            out += separators[rng() % 8];
        }
        out.resize(size);
        return out;
    }
};

// A model as training and loading make it: the 400 most frequent n-grams of
// a sample, ranked 1..400.
ProfilePtr make_model(const Language &language, std::mt19937 &rng) {
    ProfilePtr trained(NgramPrfNew("xx", "cs", 0));
    std::string sample = language.text(rng, 60000);
    for (size_t at = 0; at < sample.size(); at += 8192) {
        const size_t n = std::min<size_t>(8192, sample.size() - at);
        NgramPrfInsert(trained.get(), reinterpret_cast<unsigned char *>(sample.data() + at),
                       static_cast<int32_t>(n));
    }
    HashSort(trained->table);
    ProfilePtr model(NgramPrfNew("xx", "cs", 0));
    for (int32_t i = 0; i < NGRAM_COMPARE_DEPTH; ++i) {
        const NgramHashEntry &e = trained->table->entries[i];
        HashInsert(model->table, e.key, e.length, i + 1);
    }
    return model;
}

struct Fixture {
    std::vector<ProfilePtr> owned;
    std::vector<const NgramProfile *> models;
    std::vector<std::string> documents;
    NgramModelIndex *index = nullptr;

    Fixture() {
        std::mt19937 rng(42);
        std::vector<Language> languages;
        for (int l = 0; l < kModels; ++l) languages.emplace_back(rng);
        for (const Language &language : languages) {
            owned.push_back(make_model(language, rng));
            models.push_back(owned.back().get());
        }
        for (int d = 0; d < kDocuments; ++d) {
            documents.push_back(languages[rng() % kModels].text(rng, kDocumentBytes));
        }
        index = NgramIdxBuild(models.data(), kModels);
    }
    ~Fixture() { NgramIdxDestroy(index); }
};

const Fixture &fixture() {
    static const Fixture f;
    return f;
}

ProfilePtr document_profile(const std::string &text) {
    std::string copy = text;  // insertion folds capitals in place
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    NgramPrfInsert(document.get(), reinterpret_cast<unsigned char *>(copy.data()),
                   static_cast<int32_t>(copy.size()));
    NgramPrfSort(document.get());
    return document;
}

std::vector<ProfilePtr> document_profiles() {
    std::vector<ProfilePtr> profiles;
    for (const std::string &text : fixture().documents) profiles.push_back(document_profile(text));
    return profiles;
}

void BM_DocumentProfile(benchmark::State &state) {
    const Fixture &f = fixture();
    size_t d = 0;
    for (auto _ : state) {
        ProfilePtr document = document_profile(f.documents[d++ % kDocuments]);
        benchmark::DoNotOptimize(document->rankLists[0][0]);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kDocumentBytes));
}
BENCHMARK(BM_DocumentProfile);

void BM_ScoreExact(benchmark::State &state) {
    const Fixture &f = fixture();
    const std::vector<ProfilePtr> documents = document_profiles();
    std::vector<float> scores(kModels);
    size_t d = 0;
    for (auto _ : state) {
        const NgramProfile *document = documents[d++ % kDocuments].get();
        for (int m = 0; m < kModels; ++m) scores[m] = NgramPrfCompute(document, f.models[m]);
        benchmark::DoNotOptimize(scores.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScoreExact);

void BM_ScoreIndex(benchmark::State &state) {
    const Fixture &f = fixture();
    const std::vector<ProfilePtr> documents = document_profiles();
    std::vector<float> scores(kModels);
    size_t d = 0;
    for (auto _ : state) {
        NgramIdxScore(f.index, documents[d++ % kDocuments].get(), nullptr, scores.data());
        benchmark::DoNotOptimize(scores.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScoreIndex);

// What one n-gram classification costs: build, rank and score a document.
void BM_ClassifyExact(benchmark::State &state) {
    const Fixture &f = fixture();
    std::vector<float> scores(kModels);
    size_t d = 0;
    for (auto _ : state) {
        ProfilePtr document = document_profile(f.documents[d++ % kDocuments]);
        for (int m = 0; m < kModels; ++m) scores[m] = NgramPrfCompute(document.get(), f.models[m]);
        benchmark::DoNotOptimize(scores.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyExact);

void BM_ClassifyIndex(benchmark::State &state) {
    const Fixture &f = fixture();
    std::vector<float> scores(kModels);
    size_t d = 0;
    for (auto _ : state) {
        ProfilePtr document = document_profile(f.documents[d++ % kDocuments]);
        NgramIdxScore(f.index, document.get(), nullptr, scores.data());
        benchmark::DoNotOptimize(scores.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyIndex);

void BM_IndexBuild(benchmark::State &state) {
    const Fixture &f = fixture();
    for (auto _ : state) {
        NgramModelIndex *index = NgramIdxBuild(f.models.data(), kModels);
        benchmark::DoNotOptimize(index);
        NgramIdxDestroy(index);
    }
}
BENCHMARK(BM_IndexBuild);

}  // namespace
