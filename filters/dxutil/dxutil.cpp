// dxutil.cpp - the utility plug-in: a services object whose conversion
// operations run on ICU converters.
//
// Every operation answers non-zero for success and 0 for failure, never
// writes past the destination it was given (a destination too small is a
// failure), and stores the bytes produced in the destination's length.
// Characters a charset cannot represent, and bytes that are not valid in the
// source charset, come out as the substitution character ("?" unless told
// otherwise): the engine counts that character to notice lossy conversions,
// so ICU's own U+FFFD or 0x1A would be mistaken for text.
//
// Converters are opened on first use and kept for the life of the object, and
// ICU itself is loaded on the first converter rather than linked, so loading
// the plug-in and creating the object cost next to nothing.
#include <dlfcn.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxutil/dxutil_charsets.h"

#define DXUTIL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kDefaultSubstitution = '?';
constexpr int32_t kUnicode = 51;
constexpr int32_t kLmbcs = 50;
constexpr int32_t kUtf16Be = 101;

// ICU's library and entry points carry its major version.
#define DXUTIL_STRINGIFY(x) #x
#define DXUTIL_NAME(x) DXUTIL_STRINGIFY(x)
constexpr char kIcuLibrary[] = "libicuuc.so." U_ICU_VERSION_SHORT;

// The ICU functions the converters use, resolved from the library.
struct Icu {
    decltype(&ucnv_open) open = nullptr;
    decltype(&ucnv_close) close = nullptr;
    decltype(&ucnv_setToUCallBack) setToUCallBack = nullptr;
    decltype(&ucnv_setFromUCallBack) setFromUCallBack = nullptr;
    decltype(&ucnv_setSubstString) setSubstString = nullptr;
    decltype(&ucnv_convertEx) convertEx = nullptr;
    decltype(&ucnv_cbToUWriteUChars) cbToUWriteUChars = nullptr;
    UConverterFromUCallback fromUSubstitute = nullptr;
    bool ok = false;
};

Icu load_icu() {
    Icu icu;
    // Never unloaded: ICU keeps process-wide caches.
    void *library = dlopen(kIcuLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) return icu;
    auto get = [library](auto &fn, const char *name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(library, name));
        return fn != nullptr;
    };
    icu.ok = get(icu.open, DXUTIL_NAME(ucnv_open)) && get(icu.close, DXUTIL_NAME(ucnv_close)) &&
             get(icu.setToUCallBack, DXUTIL_NAME(ucnv_setToUCallBack)) &&
             get(icu.setFromUCallBack, DXUTIL_NAME(ucnv_setFromUCallBack)) &&
             get(icu.setSubstString, DXUTIL_NAME(ucnv_setSubstString)) &&
             get(icu.convertEx, DXUTIL_NAME(ucnv_convertEx)) &&
             get(icu.cbToUWriteUChars, DXUTIL_NAME(ucnv_cbToUWriteUChars)) &&
             get(icu.fromUSubstitute, DXUTIL_NAME(UCNV_FROM_U_CALLBACK_SUBSTITUTE));
    return icu;
}

// ICU, loaded by the first call (thread-safe); null when it cannot be loaded.
const Icu *icu() {
    static const Icu loaded = load_icu();
    return loaded.ok ? &loaded : nullptr;
}

struct State {
    std::mutex lock;       // guards everything below
    int32_t selected = 0;  // charset chosen by the select operation; 0 none
    UChar substitution = kDefaultSubstitution;
    struct Cached {
        const char *name;
        UConverter *converter;
    };
    std::vector<Cached> converters;

    ~State() {
        // A converter exists only once ICU is loaded.
        for (Cached &c : converters) icu()->close(c.converter);
    }
};

// The object handed out: the slot array first, as the interface requires,
// then the plug-in's own state.
struct Services {
    DXServices abi;
    State *state;
};
static_assert(std::is_standard_layout_v<Services>);
static_assert(offsetof(Services, abi) == 0);

Services *services_of(DXServices *svc) {
    return reinterpret_cast<Services *>(svc);
}

// To-Unicode error handler: one substitution character for every byte
// sequence that is illegal, unassigned or cut off.
void substitute_to_unicode(const void *context, UConverterToUnicodeArgs *args, const char *,
                           int32_t, UConverterCallbackReason reason, UErrorCode *err) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
    const UChar substitution = *static_cast<const UChar *>(context);
    *err = U_ZERO_ERROR;
    icu()->cbToUWriteUChars(args, &substitution, 1, 0, err);
}

// The cached converter for an ICU name, opened and configured on first use.
UConverter *converter_for(State &state, const char *name) {
    for (const State::Cached &c : state.converters) {
        if (std::strcmp(c.name, name) == 0) return c.converter;
    }
    const Icu *lib = icu();
    if (!lib) return nullptr;
    UErrorCode err = U_ZERO_ERROR;
    UConverter *cnv = lib->open(name, &err);
    if (U_FAILURE(err) || !cnv) return nullptr;
    lib->setToUCallBack(cnv, substitute_to_unicode, &state.substitution, nullptr, nullptr, &err);
    lib->setFromUCallBack(cnv, lib->fromUSubstitute, nullptr, nullptr, nullptr, &err);
    if (U_FAILURE(err)) {
        lib->close(cnv);
        return nullptr;
    }
    try {
        state.converters.push_back({name, cnv});
    } catch (...) {
        lib->close(cnv);
        return nullptr;
    }
    return cnv;
}

// The ICU name for a charset number as it stands now (LMBCS depends on the
// object's LMBCS setting, 16-bit Unicode on the byte-order flag).
const char *converter_name(const DXServices *svc, int32_t charset, int bigEndian) {
    if (charset == kLmbcs) return dxutil::lmbcs_converter_name(svc->slot[DX_SVC_LMBCS_SETTING]);
    if (charset == kUnicode && bigEndian) charset = kUtf16Be;
    const dxutil::CharsetMapping *row = dxutil::find_charset_mapping(charset);
    return row ? row->icuName : nullptr;
}

UConverter *open_charset(DXServices *svc, int32_t charset, int bigEndian) {
    const char *name = converter_name(svc, charset, bigEndian);
    return name ? converter_for(*services_of(svc)->state, name) : nullptr;
}

bool valid_buffers(const DXBuffer *source, const DXBuffer *dest) {
    if (!source || !dest || source->length < 0 || dest->length < 0) return false;
    if (source->length > 0 && !source->data) return false;
    return dest->length == 0 || dest->data;
}

// Converts the whole source, or fails without claiming any output.
int convert_with(State &state, UConverter *to, UConverter *from, DXBuffer *source, DXBuffer *dest,
                 int substitution) {
    if (substitution > 0 && substitution <= 0xFFFF) {
        state.substitution = static_cast<UChar>(substitution);
    }
    if (source->length == 0) {
        dest->length = 0;
        return 1;
    }
    auto *target = static_cast<char *>(dest->data);
    char *const targetStart = target;
    const char *src = static_cast<const char *>(source->data);
    if (to == from) {
        // The same charset on both sides: nothing to convert.
        if (dest->length < source->length) return 0;
        std::memcpy(target, src, static_cast<size_t>(source->length));
        dest->length = source->length;
        return 1;
    }
    // Both converters exist, so ICU is loaded.
    const Icu *lib = icu();
    UErrorCode err = U_ZERO_ERROR;
    lib->setSubstString(to, &state.substitution, 1, &err);
    if (U_FAILURE(err)) {
        // A charset without the character: keep the converter's own.
        err = U_ZERO_ERROR;
    }
    UChar pivot[1024];
    UChar *pivotSource = pivot, *pivotTarget = pivot;
    lib->convertEx(to, from, &target, targetStart + dest->length, &src, src + source->length, pivot,
                   &pivotSource, &pivotTarget, pivot + 1024, true, true, &err);
    if (U_FAILURE(err)) return 0;
    dest->length = static_cast<int32_t>(target - targetStart);
    return 1;
}

template <typename Fn>
int guarded(DXServices *svc, Fn &&fn) {
    if (!svc) return 0;
    try {
        State &state = *services_of(svc)->state;
        std::lock_guard<std::mutex> hold(state.lock);
        return fn(state);
    } catch (...) {
        return 0;
    }
}

int op_to_unicode(DXServices *svc, DXBuffer *source, DXBuffer *dest, int substitution,
                  int bigEndian) {
    return guarded(svc, [&](State &state) {
        if (!valid_buffers(source, dest) || state.selected == 0) return 0;
        UConverter *from = open_charset(svc, state.selected, 0);
        UConverter *to = open_charset(svc, kUnicode, bigEndian);
        if (!from || !to) return 0;
        return convert_with(state, to, from, source, dest, substitution);
    });
}

int op_from_unicode(DXServices *svc, DXBuffer *source, DXBuffer *dest, int substitution,
                    int bigEndian) {
    return guarded(svc, [&](State &state) {
        if (!valid_buffers(source, dest) || state.selected == 0) return 0;
        UConverter *from = open_charset(svc, kUnicode, bigEndian);
        UConverter *to = open_charset(svc, state.selected, 0);
        if (!from || !to) return 0;
        return convert_with(state, to, from, source, dest, substitution);
    });
}

int op_convert(DXServices *svc, int sourceCharset, DXBuffer *source, DXBuffer *dest,
               int substitution) {
    return guarded(svc, [&](State &state) {
        if (!valid_buffers(source, dest) || state.selected == 0) return 0;
        UConverter *from = open_charset(svc, sourceCharset, 0);
        UConverter *to = open_charset(svc, state.selected, 0);
        if (!from || !to) return 0;
        return convert_with(state, to, from, source, dest, substitution);
    });
}

int op_set_substitution(DXServices *svc, int substitution) {
    return guarded(svc, [&](State &state) {
        if (substitution <= 0 || substitution > 0xFFFF) return 0;
        state.substitution = static_cast<UChar>(substitution);
        return 1;
    });
}

int op_select(DXServices *svc, int charset) {
    return guarded(svc, [&](State &state) {
        // Opening here tells the caller at once whether the charset is
        // available, and leaves the converter ready for the conversion.
        if (!open_charset(svc, charset, 0)) return 0;
        state.selected = charset;
        return 1;
    });
}

void destroy(DXServices *svc) {
    if (!svc) return;
    Services *services = services_of(svc);
    delete services->state;
    delete services;
}

void op_release(DXServices *svc) {
    destroy(svc);
}

DXServices *create() {
    auto *services = new (std::nothrow) Services{};
    if (!services) return nullptr;
    services->state = new (std::nothrow) State;
    if (!services->state) {
        delete services;
        return nullptr;
    }
    uintptr_t *slot = services->abi.slot;
    slot[DX_SVC_RELEASE] = reinterpret_cast<uintptr_t>(&op_release);
    slot[DX_SVC_TO_UNICODE] = reinterpret_cast<uintptr_t>(&op_to_unicode);
    slot[DX_SVC_FROM_UNICODE] = reinterpret_cast<uintptr_t>(&op_from_unicode);
    slot[DX_SVC_CONVERT] = reinterpret_cast<uintptr_t>(&op_convert);
    slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&op_set_substitution);
    slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&op_select);
    slot[DX_SVC_LMBCS_SETTING] = dxutil::kLmbcsDefaultGroup;
    return &services->abi;
}

// The operations must match the interface's types exactly.
static_assert(std::is_same_v<decltype(&op_release), DXSvcReleaseFn>);
static_assert(std::is_same_v<decltype(&op_to_unicode), DXSvcToUnicodeFn>);
static_assert(std::is_same_v<decltype(&op_from_unicode), DXSvcFromUnicodeFn>);
static_assert(std::is_same_v<decltype(&op_convert), DXSvcConvertFn>);
static_assert(std::is_same_v<decltype(&op_set_substitution), DXSvcSetSubstFn>);
static_assert(std::is_same_v<decltype(&op_select), DXSvcSelectFn>);

}  // namespace

// The directory and flags concern resources this plug-in does not have
// (ICU finds its own data); they are accepted and ignored.
DXUTIL_EXPORT DXServices *DXSACreateZAPIServices(void *, void *, const char *, int) {
    return create();
}

DXUTIL_EXPORT DXServices *DXSACreateZAPIServicesEx(void *, void *, const char *, int, int) {
    return create();
}

DXUTIL_EXPORT void DXSADestroyZAPIServices(DXServices *svc) {
    destroy(svc);
}

static_assert(std::is_same_v<decltype(&DXSACreateZAPIServices), DXCreateServicesFn>);
static_assert(std::is_same_v<decltype(&DXSACreateZAPIServicesEx), DXCreateServicesExFn>);
static_assert(std::is_same_v<decltype(&DXSADestroyZAPIServices), DXDestroyServicesFn>);
