/* fake_dx.c - stand-ins for the filter and utility plug-ins, for tests of
 * loading, start-up and teardown. One source, compiled once per role and
 * behaviour:
 *   FAKE_FILTER            build the filter library (else the utility library)
 *   FAKE_NO_ENTRY          leave the library's entry point out
 *   FAKE_INIT_NULL         initialise returns null
 *   FAKE_SERVICES_NULL     the services entry point returns null
 * Every call is appended as one line to the file named by the environment
 * variable FAKE_DX_LOG (when set), so a test can check order and arguments. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "doctype/dx_abi.h"

#define EXPORT __attribute__((visibility("default")))

static void record(const char *format, const char *text, long a, long b) {
    const char *log = getenv("FAKE_DX_LOG");
    if (!log || !*log) return;
    FILE *file = fopen(log, "a");
    if (!file) return;
    fprintf(file, format, text ? text : "(null)", a, b);
    fputc('\n', file);
    fclose(file);
}

#ifdef FAKE_FILTER

static int filter_handle;

static void *fake_initialise(void *r1, void *r2, const char *dir, int charset, int flags) {
    record("filter.initialise %s %ld %#lx", dir, charset, (long)flags);
    if (r1 || r2) record("filter.initialise reserved arguments not null%s", "", 0, 0);
#ifdef FAKE_INIT_NULL
    return NULL;
#else
    return &filter_handle;
#endif
}

static void fake_shutdown(void *filter) {
    record("filter.shutdown%s %ld", "", filter == &filter_handle, 0);
}

/* Without its entry point the library exports the function under another
 * name, so the loader's look-up fails. */
#ifdef FAKE_NO_ENTRY
#define DX_GetFilterInterface Fake_GetFilterInterface
#endif
EXPORT void DX_GetFilterInterface(DXFilterInterface *table) {
    record("filter.get_interface%s", "", 0, 0);
    memset(table, 0, sizeof *table);
    table->initialise = fake_initialise;
    table->shutdown = fake_shutdown;
}

#else /* the utility library */

static DXServices services;

#ifdef FAKE_NO_ENTRY
#define DXSACreateZAPIServices Fake_CreateZAPIServices
#endif
EXPORT DXServices *DXSACreateZAPIServices(void *r1, void *r2, const char *dir, int flags) {
    record("util.create %s %ld", dir, flags, 0);
    if (r1 || r2) record("util.create reserved arguments not null%s", "", 0, 0);
#ifdef FAKE_SERVICES_NULL
    return NULL;
#else
    return &services;
#endif
}

EXPORT void DXSADestroyZAPIServices(DXServices *svc) {
    record("util.destroy%s %ld", "", svc == &services, 0);
}

#endif
