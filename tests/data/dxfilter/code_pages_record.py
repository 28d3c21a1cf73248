#!/usr/bin/env python3
"""Records what the filter's code-page functions answer over their whole
input range, into code_pages.txt, the expected data of the code-page tests.

Run once, at 62067a8, the last revision whose readers held their own
tables: the functions are cut out of the given revision's files as they
stand, built into one program and run. The converter names are those each reader hands
to iconv_open first (before its fallback to Windows-1252); the ICU names are
CodePageCharset's whole answer, with this machine's ICU.

    code_pages_record.py REVISION > code_pages.txt
"""
import os
import re
import subprocess
import sys
import tempfile

REV = sys.argv[1] if len(sys.argv) > 1 else "HEAD"


def source(path):
    return subprocess.run(["git", "show", f"{REV}:{path}"], check=True,
                          capture_output=True, text=True).stdout


def cut(text, start):
    """The lines from the one that starts with `start` to the first line
    that closes a top-level block ("}" or "};")."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if line.startswith(start):
            for j in range(i, len(lines)):
                if re.fullmatch(r"};?", lines[j]):
                    return "\n".join(lines[i:j + 1]) + "\n"
    sys.exit(f"not found: {start}")


ole = source("filters/dxfilter/ole_file.cpp")
rtf = source("filters/dxfilter/rtf_reader.cpp")
word = source("filters/dxfilter/msword_reader.cpp")
chm = source("filters/dxfilter/chm_module.cpp")
icu = source("filters/dxfilter/compress_text.cpp")

program = r"""
#include <iconv.h>
#include <unicode/ucnv.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ole {
std::string tried;
iconv_t iconv_open(const char *, const char *name) {
    if (tried.empty()) tried = name;
    return reinterpret_cast<iconv_t>(-1);
}
""" + cut(ole, "iconv_t OpenCodePage(") + r"""
}  // namespace ole
namespace rtf {
""" + cut(rtf, "int charset_code_page(") + cut(rtf, "std::string iconv_name(") + r"""
}  // namespace rtf
namespace word {
constexpr uint16_t kMacCharset6 = 256;
""" + cut(word, "struct LanguageCodePage {") + cut(word, "constexpr LanguageCodePage kLanguageCodePages[]") + \
    cut(word, "const char *legacy_code_page(") + r"""
}  // namespace word
namespace chm {
""" + cut(chm, "struct LocaleCodePage {") + cut(chm, "constexpr LocaleCodePage kLocaleCodePages[]") + \
    cut(chm, "uint32_t LocaleCodePageOf(") + r"""
}  // namespace chm
namespace names {
""" + cut(icu, "bool CharsetKnown(") + cut(icu, "struct CodePageName {") + \
    cut(icu, "constexpr CodePageName kCodePages[]") + cut(icu, "std::string CodePageCharset(") + r"""
}  // namespace names

// One answer a line: function, input, answer.
int main() {
    for (unsigned i = 0; i <= 65535; ++i) {
        ole::tried.clear();
        ole::OpenCodePage(i, "UTF-8");
        std::printf("office_iconv %u %s\n", i, ole::tried.c_str());
        std::printf("rtf_iconv %u %s\n", i, rtf::iconv_name(static_cast<int>(i)).c_str());
        std::printf("word_language %u %s\n", i, word::legacy_code_page(i, 0));
        std::printf("word_charset %u %s\n", i, word::legacy_code_page(0, i));
        std::printf("locale %u %u\n", i, chm::LocaleCodePageOf(i));
        std::printf("icu %u %s\n", i, names::CodePageCharset(i).c_str());
    }
    for (int i = 0; i <= 255; ++i)
        std::printf("font_charset %d %d\n", i, rtf::charset_code_page(i));
}
"""

with tempfile.TemporaryDirectory() as tmp:
    cpp = os.path.join(tmp, "record.cpp")
    exe = os.path.join(tmp, "record")
    with open(cpp, "w") as f:
        f.write(program)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "icu-uc"], check=True,
                           capture_output=True, text=True).stdout.split()
    subprocess.run(["g++", "-std=c++20", "-O1", "-w", cpp, "-o", exe] + flags, check=True)
    out = subprocess.run([exe], check=True, capture_output=True, text=True).stdout

answers = {}
for line in out.splitlines():
    name, value, *answer = line.split(" ")
    answers.setdefault(name, []).append(answer[0] if answer and answer[0] else "-")

# The compact form: each function's inputs in blocks of 1024; a block is
# either "@B = A" (the same answers as block A, at the same offsets) or
# "@B" followed by the runs of equal answers, "OFFSET ANSWER", where "#" in
# an answer stands for the input in decimal (after a prefix of letters).
print("# Answers of the filter's code-page functions over their whole input")
print("# range, recorded from the readers' own tables by code_pages_record.py")
print(f"# (at {subprocess.run(['git', 'rev-parse', '--short', REV], capture_output=True, text=True).stdout.strip()}).")
print("# [function], then blocks of 1024 inputs: '@B = A' repeats block A;")
print("# '@B' is followed by 'OFFSET ANSWER' lines, the runs of equal answers;")
print("# '#' in an answer is the input in decimal, '-' an empty answer.")
for name in ["office_iconv", "rtf_iconv", "word_language", "word_charset", "locale", "icu",
             "font_charset"]:
    values = answers[name]
    print(f"[{name}]")
    seen = {}
    for b in range(0, len(values), 1024):
        runs = []
        for i in range(b, min(b + 1024, len(values))):
            v = values[i]
            m = re.fullmatch(r"(\D+)" + str(i), v)
            general = m.group(1) + "#" if m else v
            if not runs or runs[-1][1] != general:
                runs.append((i - b, general))
        key = tuple(runs)
        if key in seen:
            print(f"@{b // 1024} = {seen[key]}")
        else:
            seen[key] = b // 1024
            print(f"@{b // 1024}")
            for off, v in runs:
                print(f"{off} {v}")
