/* threads_bench.c - detection throughput of one engine context shared by 1
 * and by 2 threads, through the installed shared library.
 *
 *   threads_bench LIST [SECONDS] [ROUNDS]
 *
 * LIST names one document per line (relative lines are taken relative to the
 * list's directory); every document is read into memory first and detected
 * from there (buffer mode), so the figures are the engine's alone. Each round
 * runs 1 thread, then 2 threads, for SECONDS each (default 3); the medians of
 * ROUNDS rounds (default 3) are printed with their ratio, and the same
 * per CPU second of the threads. */
#define _GNU_SOURCE
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <glotta/lang_api.h>

typedef struct {
    char *bytes;
    int32_t length;
} Document;

static Document *docs;
static size_t docCount;
static LangContext *ctx;
static atomic_int stop;

typedef struct {
    size_t start;
    long done;
    int failed;
    double cpu; /* the thread's CPU seconds */
} Worker;

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static int load(const char *list) {
    FILE *in = fopen(list, "r");
    if (!in) return -1;
    const char *slash = strrchr(list, '/');
    const int dirLength = slash ? (int)(slash - list) : 0;
    char line[4096], path[8192];
    size_t room = 0;
    while (fgets(line, sizeof line, in)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (!line[0]) continue;
        if (line[0] == '/' || !slash)
            snprintf(path, sizeof path, "%s", line);
        else
            snprintf(path, sizeof path, "%.*s/%s", dirLength, list, line);
        FILE *f = fopen(path, "rb");
        if (!f) continue;
        char *bytes = malloc(4096);
        const size_t n = bytes ? fread(bytes, 1, 4096, f) : 0;
        fclose(f);
        if (!bytes) break;
        if (docCount == room) {
            room = room ? 2 * room : 1024;
            docs = realloc(docs, room * sizeof *docs);
            if (!docs) return -1;
        }
        docs[docCount].bytes = bytes;
        docs[docCount].length = (int32_t)n;
        ++docCount;
    }
    fclose(in);
    return docCount ? 0 : -1;
}

static double thread_cpu(void) {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void *work(void *arg) {
    Worker *w = arg;
    const double cpu = thread_cpu();
    for (size_t i = w->start; !atomic_load_explicit(&stop, memory_order_relaxed); ++i) {
        const Document *d = &docs[i % docCount];
        LangDetectInArg in = {d->bytes, d->length, 1, 0, NULL, NULL, NULL};
        LangDetectOutArg out = {0, NULL};
        if (LangDetect(ctx, &in, &out) != LANG_OK) ++w->failed;
        LangDetectOutArgFree(&out);
        ++w->done;
    }
    w->cpu = thread_cpu() - cpu;
    return NULL;
}

/* Documents per second with `threads` threads for `seconds`; *perCpu gets
 * the documents per CPU second of the threads together. */
static double measure(int threads, double seconds, double *perCpu) {
    pthread_t ids[2];
    Worker workers[2];
    atomic_store(&stop, 0);
    const double begin = now();
    for (int t = 0; t < threads; ++t) {
        workers[t] = (Worker){(size_t)t * docCount / 2, 0, 0, 0.0};
        pthread_create(&ids[t], NULL, work, &workers[t]);
    }
    struct timespec pause = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    nanosleep(&pause, NULL);
    atomic_store(&stop, 1);
    long done = 0;
    double cpu = 0;
    for (int t = 0; t < threads; ++t) {
        pthread_join(ids[t], NULL);
        done += workers[t].done;
        cpu += workers[t].cpu;
    }
    *perCpu = cpu > 0 ? (double)done / cpu : 0;
    return (double)done / (now() - begin);
}

static int by_value(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: threads_bench LIST [SECONDS] [ROUNDS]\n");
        return 2;
    }
    const double seconds = argc > 2 ? atof(argv[2]) : 3.0;
    int rounds = argc > 3 ? atoi(argv[3]) : 3;
    if (rounds < 1 || rounds > 99) rounds = 3;
    if (load(argv[1]) != 0) {
        fprintf(stderr, "threads_bench: no documents in %s\n", argv[1]);
        return 1;
    }
    const int rc = LangInit(&ctx, NULL);
    if (rc < 0) {
        fprintf(stderr, "threads_bench: %d: %s\n", rc, LangErrorMsg(rc));
        return 1;
    }
    double one[99], two[99], oneCpu[99], twoCpu[99];
    for (int r = 0; r < rounds; ++r) {
        one[r] = measure(1, seconds, &oneCpu[r]);
        two[r] = measure(2, seconds, &twoCpu[r]);
        fprintf(stderr, "round %d: 1 thread %.0f docs/s, 2 threads %.0f docs/s\n", r + 1, one[r],
                two[r]);
    }
    qsort(one, (size_t)rounds, sizeof one[0], by_value);
    qsort(two, (size_t)rounds, sizeof two[0], by_value);
    qsort(oneCpu, (size_t)rounds, sizeof oneCpu[0], by_value);
    qsort(twoCpu, (size_t)rounds, sizeof twoCpu[0], by_value);
    const double m1 = one[rounds / 2], m2 = two[rounds / 2];
    const double c1 = oneCpu[rounds / 2], c2 = twoCpu[rounds / 2];
    /* The wall ratio is bounded by the cores free at the time; the CPU ratio
     * (1.0: a second thread costs nothing extra per document) is not. */
    printf(
        "documents: %zu\n1 thread: %.0f docs/s (%.0f per CPU second)\n"
        "2 threads: %.0f docs/s (%.0f per CPU second)\nratio: %.2f (per CPU second: %.2f)\n",
        docCount, m1, c1, m2, c2, m2 / m1, c2 / c1);
    LangClose(ctx);
    return 0;
}
