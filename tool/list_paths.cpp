// list_paths.cpp - turning the lines of a bulk list into document paths.
#include "tool/tool.h"

std::string ListDirPrefix(std::string_view listPath) {
    for (size_t i = listPath.size(); i-- > 1;) {
        if (listPath[i] == '/') return std::string(listPath.substr(0, i));
    }
    return {};
}

size_t ListCleanLine(char *line, size_t length) {
    // The carriage-return test uses the length as read, before the line feed
    // goes, so a line of nothing but CR LF keeps its CR.
    const size_t read = length;
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    if (read > 2 && line[read - 2] == '\r') {
        length = read - 2;
        line[length] = '\0';
    }
    return length;
}

std::string ListDocPath(std::string_view prefix, std::string_view line) {
    if ((!line.empty() && line.front() == '/') || prefix.empty()) return std::string(line);
    std::string path;
    path.reserve(prefix.size() + 1 + line.size());
    path.append(prefix);
    path += '/';
    path.append(line);
    return path;
}
