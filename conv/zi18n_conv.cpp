// zi18n_conv.cpp - charset names to numbers, expansion factors, and the
// conversion dispatcher: copies, built-in Unicode conversions, and
// everything else through the utility library's services object under the
// context's mutex.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "conv/zi18n_conv.h"

// Alias table: a name resolves to the first row whose fragment it contains,
// so the order of rows decides overlaps ("885915" before "88591", "eucbig5"
// before "big5", "8859" last of the single-byte rows).
extern "C" constexpr CharsetInfo CharsetInfoList[] = {
    // One byte per character.
    {"037", 46, 1},
    {"424", 70, 1},
    {"437", 25, 1},
    {"500", 48, 1},
    {"720", 79, 1},
    {"737", 26, 1},
    {"775", 27, 1},
    {"850", 28, 1},
    {"851", 29, 1},
    {"852", 30, 1},
    {"855", 31, 1},
    {"856", 71, 1},
    {"857", 32, 1},
    {"860", 33, 1},
    {"861", 34, 1},
    {"862", 35, 1},
    {"863", 36, 1},
    {"864", 37, 1},
    {"865", 38, 1},
    {"866", 39, 1},
    {"869", 40, 1},
    {"874", 41, 1},
    {"tis620", 41, 1},
    {"875", 49, 1},
    {"1006", 72, 1},
    {"1026", 47, 1},
    {"1250", 5, 1},
    {"1251", 6, 1},
    {"1252", 7, 1},
    {"1253", 8, 1},
    {"1254", 9, 1},
    {"1255", 10, 1},
    {"1256", 11, 1},
    {"1257", 12, 1},
    {"1258", 13, 1},
    {"10000", 59, 1},
    {"885915", 24, 1},
    {"885914", 23, 1},
    {"885913", 82, 1},
    {"885910", 81, 1},
    {"88591", 14, 1},
    {"819", 14, 1},
    {"latin1", 14, 1},
    {"88592", 15, 1},
    {"latin2", 15, 1},
    {"88593", 16, 1},
    {"latin3", 16, 1},
    {"88594", 17, 1},
    {"latin4", 17, 1},
    {"88595", 18, 1},
    {"cyrilli", 18, 1},
    {"88596", 19, 1},
    {"arabic", 19, 1},
    {"88597", 20, 1},
    {"greek", 20, 1},
    {"88598", 21, 1},
    {"isovisual", 21, 1},
    {"isological", 21, 1},
    {"hebrew", 21, 1},
    {"88599", 22, 1},
    {"latin5", 22, 1},
    {"koi8", 73, 1},
    {"878", 73, 1},
    {"8859", 7, 1},
    // East Asian multi-byte charsets.
    {"eucjp", 66, 2},
    {"jis0201", 64, 2},
    {"jis0212", 65, 2},
    {"jis", 1, 2},
    {"932", 1, 2},
    {"iso2022jp", 55, 3},
    {"iso2022cn", 56, 2},
    {"cns11643", 63, 2},
    {"eucgb", 67, 2},
    {"euccn", 67, 2},
    {"gb18030", 94, 4},
    {"gb12345", 62, 2},
    {"hz", 0, 0},
    {"936", 2, 2},
    {"gb", 2, 2},
    {"eucbig5", 68, 2},
    {"euctw", 0, 0},
    {"big5", 3, 2},
    {"950", 3, 2},
    {"hkscs", 3, 2},
    {"iso2022kr", 57, 2},
    {"ksc5601", 4, 2},
    {"eucksc", 4, 2},
    {"euckr", 4, 2},
    {"ksc", 4, 2},
    {"1363", 4, 2},
    {"949", 4, 2},
    // Vietnamese, Indian scripts, Unicode and LMBCS.
    {"viscii", 80, 1},
    {"isciide", 83, 1},
    {"isciibe", 84, 1},
    {"isciita", 85, 1},
    {"isciite", 86, 1},
    {"isciias", 87, 1},
    {"isciior", 88, 1},
    {"isciika", 89, 1},
    {"isciima", 90, 1},
    {"isciigu", 91, 1},
    {"isciipa", 92, 1},
    {"10646", 51, 2},
    {"unicode", 51, 2},
    {"utf16", 51, 2},
    {"utf8", 53, 6},
    {"65001", 53, 6},
    {"lmbcs", 50, 6},
    {nullptr, 0, 0},
};

static_assert(sizeof CharsetInfoList / sizeof CharsetInfoList[0] == 109,
              "the alias table has 108 rows and a terminator");

namespace {

constexpr size_t kMaxCharsetName = 20;
constexpr uint8_t kSubstitution = '?';
constexpr int32_t kLmbcsDefaultGroup = CS_CP850;

// The names of the module's result codes, from -19899 up to -19888.
constexpr const char *kMessages[] = {
    "Function failed",
    "Out of memory",
    "Couldn't load library dxutil.",
    "Input buffer for converting is not available",
    "Output buffer for converting is not available",
    "Error in library dxutil",
    "Output buffer is not large enough",
    "Input buffer contains partial character",
    "Unknown charset name",
    "Unknown locale name",
    "Internal zi18n mutex error",
    "Couldn't map source charset to target charset",
};
static_assert(sizeof kMessages / sizeof kMessages[0] == ZI18N_ERR_LOSSY - ZI18N_ERR_FAILED + 1);

template <typename Fn>
Fn service_op(const DXServices *svc, int slot) {
    return reinterpret_cast<Fn>(svc->slot[slot]);
}

// Counts the substitution bytes in the first `length` bytes, up to a zero.
int32_t count_substitutions(const void *data, int32_t length) {
    const auto *p = static_cast<const uint8_t *>(data);
    int32_t count = 0;
    for (int32_t i = 0; i < length && p[i] != 0; ++i) count += p[i] == kSubstitution;
    return count;
}

int32_t terminated_length(int32_t source, const void *input) {
    const auto *p = static_cast<const uint8_t *>(input);
    if (source != CS_UNICODE)
        return static_cast<int32_t>(std::strlen(static_cast<const char *>(input)));
    int32_t n = 0;
    while (p[n] != 0 || p[n + 1] != 0) n += 2;
    return n;
}

// One conversion through the services object; the caller holds the lock.
// On success `*produced` is the destination's byte count.
int library_convert(DXServices *svc, int32_t source, const void *input, int32_t inputLength,
                    int32_t target, void *output, int32_t outputSize, int32_t *produced,
                    int bigEndian) {
    auto setSubst = service_op<DXSvcSetSubstFn>(svc, DX_SVC_SET_SUBST);
    auto select = service_op<DXSvcSelectFn>(svc, DX_SVC_SELECT);
    if (!setSubst || !setSubst(svc, kSubstitution)) return ZI18N_ERR_LIBRARY;

    DXBuffer from{const_cast<void *>(input), inputLength};
    DXBuffer to{output, outputSize};
    int ok = 0;
    if (source == CS_UNICODE) {
        auto fromUnicode = service_op<DXSvcFromUnicodeFn>(svc, DX_SVC_FROM_UNICODE);
        ok = select && fromUnicode && select(svc, target) &&
             fromUnicode(svc, &from, &to, kSubstitution, bigEndian);
    } else if (target == CS_UNICODE && source != CS_LMBCS) {
        auto toUnicode = service_op<DXSvcToUnicodeFn>(svc, DX_SVC_TO_UNICODE);
        ok = select && toUnicode && select(svc, source) &&
             toUnicode(svc, &from, &to, kSubstitution, bigEndian);
    } else {
        auto convert = service_op<DXSvcConvertFn>(svc, DX_SVC_CONVERT);
        ok = select && convert && select(svc, target);
        if (ok && (source == CS_LMBCS || target == CS_LMBCS)) {
            svc->slot[DX_SVC_LMBCS_SETTING] = kLmbcsDefaultGroup;
        }
        ok = ok && convert(svc, source, &from, &to, kSubstitution);
    }
    if (!ok) return ZI18N_ERR_LIBRARY;
    // A library that claims more than it was given is not believed.
    if (to.length < 0 || to.length > outputSize) return ZI18N_ERR_LIBRARY;
    // The between-charsets operation has no byte-order flag and writes
    // 16-bit Unicode low byte first; the caller's order is restored here.
    if (source == CS_LMBCS && target == CS_UNICODE && bigEndian && to.length > 1) {
        int32_t swapped = 0, swappedLength = 0;
        Zi18nUnicodeEndianSwap(output, to.length & ~int32_t{1}, &swapped, output, to.length,
                               &swappedLength);
    }
    *produced = to.length;
    return ZI18N_OK;
}

// Runs the library step and what follows it (the KOI8-R tail or the lossy
// check) under the lock.
int locked_convert(Zi18nHandle *ctx, int32_t source, const void *input, int32_t inputLength,
                   int32_t *consumed, int32_t target, void *output, int32_t outputSize,
                   int32_t *outputLength, int bigEndian) {
    // KOI8-R is produced by the built-in table from UTF-16, whatever the
    // library would make of it.
    const bool viaUnicode = target == CS_KOI8R;
    uint8_t *temp = nullptr;
    int32_t tempSize = 0;
    if (viaUnicode) {
        if (inputLength > INT32_MAX / 2) return ZI18N_ERR_NOMEM;
        tempSize = 2 * inputLength;
        temp = static_cast<uint8_t *>(vos_malloc(static_cast<size_t>(tempSize)));
        if (!temp) return ZI18N_ERR_NOMEM;
    }
    glotta::VosPtr<uint8_t> tempOwner(temp);

    if (ctx->mutex && (MutexLock(nullptr, ctx->mutex) & 0xFFFF) != 0) return ZI18N_ERR_MUTEX;

    int result;
    if (viaUnicode) {
        int32_t produced = 0;
        result = library_convert(ctx->services, source, input, inputLength, CS_UNICODE, temp,
                                 tempSize, &produced, bigEndian);
        if (result == ZI18N_OK) {
            result = Zi18nUnicodeToKoi8r(temp, produced, consumed, output, outputSize, outputLength,
                                         bigEndian);
        }
    } else {
        int32_t produced = 0;
        result = library_convert(ctx->services, source, input, inputLength, target, output,
                                 outputSize, &produced, bigEndian);
        if (result == ZI18N_OK) {
            *outputLength = produced;
            if (!Zi18nIsValidCharsetMapping(source, target) &&
                count_substitutions(output, produced) > count_substitutions(input, inputLength)) {
                result = ZI18N_ERR_LOSSY;
            }
        }
    }

    if (ctx->mutex && (MutexUnlock(nullptr, ctx->mutex) & 0xFFFF) != 0) result = ZI18N_ERR_MUTEX;
    return result;
}

int convert_unguarded(Zi18nHandle *ctx, int32_t source, const void *input, int32_t inputLength,
                      int32_t *consumed, int32_t target, void *output, int32_t outputSize,
                      int32_t *outputLength, int bigEndian) {
    if (!ctx || !ctx->services) return ZI18N_ERR_FAILED;
    if (source == CS_NONE || target == CS_NONE) return ZI18N_ERR_CHARSET;
    if (!input || inputLength == 0) return ZI18N_ERR_NOINPUT;
    if (!output || outputSize == 0) return ZI18N_ERR_NOOUTPUT;
    if (inputLength == -1) {
        inputLength = terminated_length(source, input);
    }
    if (inputLength < 0) return ZI18N_ERR_NOINPUT;
    if (outputSize < 0) return ZI18N_ERR_NOOUTPUT;

    int32_t consumedLocal = 0, outputLocal = 0;
    if (!consumed) consumed = &consumedLocal;
    if (!outputLength) outputLength = &outputLocal;
    *consumed = inputLength;
    *outputLength = 0;
    std::memset(output, 0, static_cast<size_t>(outputSize));

    if (source == target) {
        if (inputLength > outputSize) {
            std::memcpy(output, input, static_cast<size_t>(outputSize));
            *consumed = outputSize;
            *outputLength = outputSize - inputLength;
            return ZI18N_ERR_SHORTOUTPUT;
        }
        std::memcpy(output, input, static_cast<size_t>(inputLength));
        *outputLength = inputLength;
        return ZI18N_OK;
    }
    if (source == CS_UTF8 && target == CS_UNICODE) {
        return Zi18nUtf8ToUnicode(input, inputLength, consumed, output, outputSize, outputLength,
                                  bigEndian);
    }
    if (source == CS_UNICODE && target == CS_UTF8) {
        return Zi18nUnicodeToUtf8(input, inputLength, consumed, output, outputSize, outputLength,
                                  bigEndian);
    }
    if (source == CS_UNICODE && target == CS_KOI8R) {
        return Zi18nUnicodeToKoi8r(input, inputLength, consumed, output, outputSize, outputLength,
                                   bigEndian);
    }
    return locked_convert(ctx, source, input, inputLength, consumed, target, output, outputSize,
                          outputLength, bigEndian);
}

}  // namespace

extern "C" int32_t Zi18nGetCharsetEnum(const char *name) {
    if (!name || !*name) return CS_NONE;
    const size_t length = std::strlen(name);
    if (length > kMaxCharsetName) return CS_NONE;
    char folded[kMaxCharsetName];
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        if (c == '_' || c == '-') continue;
        folded[n++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view normalised(folded, n);
    for (const CharsetInfo *row = CharsetInfoList; row->fragment; ++row) {
        if (normalised.find(row->fragment) != std::string_view::npos) return row->charset;
    }
    return CS_NONE;
}

extern "C" int IZi18nGetExpansionFactor(int32_t source, int32_t target, int32_t *factor) {
    if (source == CS_NONE || target == CS_NONE) return ZI18N_ERR_CHARSET;
    bool sourceSeen = false;
    int32_t bytes = -1;
    for (const CharsetInfo *row = CharsetInfoList; row->fragment; ++row) {
        if (row->charset == source) sourceSeen = true;
        if (bytes < 0 && row->charset == target) bytes = row->maxBytes;
        if (sourceSeen && bytes >= 0) break;
    }
    if (!sourceSeen || bytes < 0) return ZI18N_ERR_CHARSET;
    // UTF-16 already spends two bytes on every character.
    if (source == CS_UNICODE) bytes /= 2;
    if (factor) *factor = bytes == 0 ? 1 : bytes;
    return ZI18N_OK;
}

extern "C" int Zi18nGetExpansionFactor(const char *source, const char *target, int32_t *factor) {
    if (!source || !*source || !target || !*target) return ZI18N_ERR_CHARSET;
    return IZi18nGetExpansionFactor(Zi18nGetCharsetEnum(source), Zi18nGetCharsetEnum(target),
                                    factor);
}

extern "C" int IZi18nConvert(Zi18nHandle *ctx, int32_t source, const void *input,
                             int32_t inputLength, int32_t *consumed, int32_t target, void *output,
                             int32_t outputSize, int32_t *outputLength, int bigEndian) {
    try {
        return convert_unguarded(ctx, source, input, inputLength, consumed, target, output,
                                 outputSize, outputLength, bigEndian);
    } catch (...) {
        return ZI18N_ERR_FAILED;
    }
}

extern "C" int Zi18nConvert(Zi18nHandle *ctx, const char *source, const void *input,
                            int32_t inputLength, int32_t *consumed, const char *target,
                            void *output, int32_t outputSize, int32_t *outputLength,
                            int bigEndian) {
    return IZi18nConvert(ctx, Zi18nGetCharsetEnum(source), input, inputLength, consumed,
                         Zi18nGetCharsetEnum(target), output, outputSize, outputLength, bigEndian);
}

extern "C" const char *Zi18nErrorMsg(int code) {
    if (code == ZI18N_OK) return "SUCCESS";
    if (code >= ZI18N_ERR_FAILED && code <= ZI18N_ERR_LOSSY) {
        return kMessages[code - ZI18N_ERR_FAILED];
    }
    return "Unknown zi18n error code";
}
