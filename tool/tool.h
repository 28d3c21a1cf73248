/* tool.h - the glotta command-line tool: its argument record, the per-document
 * report, BIF output, the language-name mapping and the bulk-list helpers.
 * Everything here runs on the tool's single thread. */
#ifndef GLOTTA_TOOL_TOOL_H
#define GLOTTA_TOOL_TOOL_H

#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#include <string>
#include <string_view>

#include "engine/lang_api.h"

/* ---- command line (args.cpp) ------------------------------------------- */

/* The parsed command line. Strings point into the process argument vector
 * and are never copied or freed; null means "not given". */
struct LangArg {
    int32_t numCandidates; /* -n; 0 until parsed, then at least 1 in detection mode */
    int32_t bulk;          /* 1: inputFile names a list of documents (leading '@') */
    const char *bifFile;   /* -bif base path */
    const char *inputFile; /* document, or list file without its '@' */
    const char *outputFile;
    const char *configFile;   /* -config */
    const char *dataPath;     /* -data_path */
    int32_t bufferSize;       /* -buffer_size; 0: the engine default */
    int32_t debug;            /* -debug */
    int32_t train;            /* -train */
    const char *languageId;   /* -language_id */
    const char *languageName; /* -language_name */
    const char *charset;      /* -charset */
};

extern LangArg langArg;

/* Zeroes langArg and fills it from the arguments. 0, or LANG_ERR_IDENTIFY
 * (-19999) for a usage error. Warnings about invalid -n/-buffer_size values
 * go to stderr. */
int parseArg(int argc, char **argv);

/* The banner and the usage text, on stdout. */
void PrintBanner();
void PrintUsage(const char *program);

/* ---- messages (report.cpp) --------------------------------------------- */

/* Prints a message on stderr after flushing stdout, so that a log holding
 * both streams (`glotta @list > log 2>&1`) keeps them in order and never
 * splits a progress line or a record around a message. */
void ToolMessage(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* ---- per-document report (report.cpp) --------------------------------- */

/* The engine context of the run; null until LangInit succeeds. */
extern LangContext *pContext;

/* Detects one document with pContext, prints its record to `out` and, when
 * `bifBase` is given and not empty, appends a BIF record. Returns the engine's
 * result code (a BIF failure does not change it). Errors go to stderr. */
int GetDocLanguage(const char *path, FILE *out, const char *bifBase);

/* ---- files the run writes (out_file.cpp) ------------------------------- */

/* Which file a name leads to (device and inode). Only regular files are
 * known: they are the ones a truncating open would destroy. */
struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool known;
};

FileIdentity IdentityOfPath(const char *path); /* stat; unknown when it fails */
FileIdentity IdentityOfStream(FILE *stream);   /* fstat of an open stream */
bool SameFile(const FileIdentity &a, const FileIdentity &b);

/* Opens `path` for writing as fopen(path, "w") does (created with mode 0666
 * less the umask, or truncated when it exists), unless it is the same file as
 * one of the `count` files of `keep`, or a regular file that another live run
 * holds open this way: the file is then left untouched and the result is
 * null (errno EWOULDBLOCK for the latter), as it is when the open fails. A
 * regular file stays under an exclusive advisory lock (flock) until the
 * stream is closed; devices and FIFOs are shared freely. */
FILE *OpenOutputStream(const char *path, const FileIdentity *keep, size_t count);

/* Exit status of a run that lost output through a write error on the output
 * file, standard output, a BIF file or langname.cfg (EX_IOERR of
 * <sysexits.h>). It replaces the status the run would have had otherwise. */
enum { LANG_EXIT_WRITE_ERROR = 74 };

/* Prints "Couldn't write <what> <name>: <reason>\n" on stderr ("Couldn't
 * write <what>: <reason>\n" for a null name); `error` is an errno value, 0
 * standing for EIO. */
void ReportWriteError(const char *what, const char *name, int error);

/* True while no write on `stream` has failed. The first time one has (while
 * *reported is false), it is reported with `what` and `name` and *reported
 * is set. */
bool StreamWritten(FILE *stream, const char *what, const char *name, bool *reported);

/* Flushes and closes `stream` (null: nothing to do) and reports a failure
 * as StreamWritten does. True when everything written reached the file. */
bool CloseOutputFile(FILE *stream, const char *what, const char *name, bool *reported);

/* ---- BIF files (bif.cpp) ----------------------------------------------- */

enum { LANG_MAX_BIF = 100 };

struct LangBifEntry {
    char *name;       /* owned copy */
    FILE *stream;     /* null when opening failed */
    bool writeFailed; /* a write error on the stream was reported */
};
extern LangBifEntry langBif[LANG_MAX_BIF];
extern int numBif;

/* Stream of the first entry named exactly `name`; null when there is none or
 * its file could not be opened. */
FILE *FindBifFile(const char *name);

/* Opens the file (as OpenOutputStream does) and adds an entry for it;
 * returns its stream, or null when the table is full, the file is one of the
 * protected files below, another run is writing it, or opening failed. A
 * failure records nothing, so failures never use up the table. */
FILE *NewBifFile(const char *name);

/* Appends the BIF record of the document `path` and its best candidate (a
 * language identifier is required) to the file `bifBase`.<language>, or
 * `bifBase`.unknown for an identifier beginning with "Unknown", opening the
 * file on its first record; the document itself is protected meanwhile.
 * False, after printing "Couldn't create bif file <name>" on stderr, when no
 * file could be had: the record is lost. */
bool AppendBifRecord(const char *bifBase, const char *path, const LangCandidate &best);

/* Reports each BIF file whose writing failed since the last check (once per
 * file). True when no BIF file has failed so far. */
bool BifFilesWritten();

/* Flushes and closes every stream, releases every name, empties the table and
 * forgets the protected files. True when every BIF file was written in full;
 * failures are reported. */
bool CloseBifFile();

/* Files no BIF file is ever opened on, so that a language name cannot make
 * the run truncate what it reads or writes: the bulk list, the output file
 * (or standard output) and the document being read. An unknown identity
 * protects nothing. */
enum BifProtected { BIF_PROTECT_LIST, BIF_PROTECT_OUTPUT, BIF_PROTECT_DOCUMENT, BIF_PROTECT_SLOTS };
void BifProtect(BifProtected slot, const FileIdentity &file);

/* ---- language names (name_map.cpp) ------------------------------------- */

enum { LANG_MAX_NAME_MAP = 100 };

struct LangNameMapEntry {
    char *id;   /* owned copy */
    char *name; /* owned copy */
};
extern LangNameMapEntry langNameMap[LANG_MAX_NAME_MAP];
extern int numNameMap;

/* Loads DATA/langname.cfg (replacing what was loaded before). 0, or 1 after
 * printing "Coundn't open configuration file langname.cfg" on stdout. */
int loadNameMapping(const char *dataPath);

/* Appends "\n<id> <name>\n" to the existing DATA/langname.cfg in one write
 * under an exclusive lock (O_APPEND, flock), so that concurrent trainings
 * into one data directory lose no entry. 0; 1 with the same message when the
 * file cannot be opened; LANG_EXIT_WRITE_ERROR after reporting a failed
 * write on stderr. */
int saveNameMapping(const char *dataPath, const char *languageId, const char *languageName);

/* Display name of an identifier (exact match), or the identifier itself. */
const char *LangCode2Name(const char *languageId);

/* ---- bulk lists (list_paths.cpp) --------------------------------------- */

enum {
    LANG_LIST_LINE_BUFFER = 1024, /* one read returns at most 1023 characters */
    LANG_LIST_PATH_MAX = 1039     /* longest document path the run accepts */
};

/* Directory of the list file: cut at its last '/' found at index 1 or later;
 * empty when there is none. */
std::string ListDirPrefix(std::string_view listPath);

/* Strips a read line of its line feed, and of a carriage return before it
 * (a line of just CR LF keeps its CR). Returns the new length. */
size_t ListCleanLine(char *line, size_t length);

/* Path of one listed document: the line as it stands when it begins with '/'
 * or the prefix is empty, otherwise prefix '/' line. */
std::string ListDocPath(std::string_view prefix, std::string_view line);

#endif
