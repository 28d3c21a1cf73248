// result_codes.cpp - the messages of the engine's result codes.
#include "engine/lang_api.h"

namespace {

// Messages of -19999 .. -19978, in that order.
constexpr const char *kMessages[] = {
    "Failed to identify language",
    "Encounted null pointer in internal function",
    "Out of memory",
    "File does not exist",
    "Open file failed",
    "The file for processing is an empty file",
    "The file is not an ordinary file",
    "The language configuration file is not available",
    "The language configuration file has bad format",
    "The language data file has bad format",
    "Language data are not available",
    "Failed to load language data files",
    "Couldn't find DX filters",
    "Couldn't load DX library",
    "The file can not be filtered by DX",
    "DX open stream failed",
    "DX filter stream failed",
    "Internal mutex error",
    "Charset convertion failed",
    "Couldn't create training language profile",
    "Couldn't create log file",
    "The language detection configuration file is empty",
};
static_assert(sizeof kMessages / sizeof kMessages[0] ==
              LANG_ERR_EMPTYCONFIG - LANG_ERR_IDENTIFY + 1);

}  // namespace

extern "C" const char *LangErrorMsg(int code) {
    if (code == LANG_OK) return "SUCCESS";
    if (code >= LANG_ERR_IDENTIFY && code <= LANG_ERR_EMPTYCONFIG) {
        return kMessages[code - LANG_ERR_IDENTIFY];
    }
    return "Unhandled internal error code";
}
