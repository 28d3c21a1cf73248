// lang_log.cpp - the debug log writer.
#include "engine/lang_log.h"

#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "engine/lang_context.h"

namespace {
// Past this position the log continues at its start, overwriting the oldest
// lines; the file is never truncated.
constexpr long kLogWrap = 0x280000;
}  // namespace

void LangLog(FILE *stream, const char *buffer, long length) {
    if (!stream) return;
    // One line at a time, also when detections on several threads log at
    // once: the stream's own lock keeps a line and its line feed together.
    flockfile(stream);
    if (ftell(stream) > kLogWrap) fseek(stream, 0, SEEK_SET);
    if (buffer && length > 0) fwrite(buffer, 1, static_cast<size_t>(length), stream);
    fputc('\n', stream);
    fflush(stream);
    funlockfile(stream);
}

void LangLogf(const LangContext *ctx, const char *format, ...) {
    if (!ctx || !ctx->debug) return;
    char small[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        LangLog(ctx->logFile, small, n);
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    LangLog(ctx->logFile, big.data(), n);
}

int LangLogEnabled(const LangContext *ctx) {
    return ctx && ctx->debug ? 1 : 0;
}

void LangLogBytes(const LangContext *ctx, const void *bytes, long length) {
    if (!ctx || !ctx->debug) return;
    LangLog(ctx->logFile, static_cast<const char *>(bytes), length);
}
