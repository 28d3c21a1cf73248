// engine_test_support.h - scratch directories, environment overrides and the
// fake plug-in installations shared by the unit tests.
#ifndef GLOTTA_TESTS_ENGINE_TEST_SUPPORT_H
#define GLOTTA_TESTS_ENGINE_TEST_SUPPORT_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace glotta_test {

namespace fs = std::filesystem;

// A scratch directory removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "glotta_test_XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const fs::path &path() const { return path_; }
    std::string str(const std::string &relative = "") const {
        return relative.empty() ? path_.string() : (path_ / relative).string();
    }
    std::string file(const std::string &relative) const { return str(relative); }

    // Writes a file, creating its directories.
    std::string write(const std::string &relative, const std::string &content) const {
        fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
    std::string mkdir(const std::string &relative) const {
        fs::create_directories(path_ / relative);
        return str(relative);
    }

  private:
    fs::path path_;
};

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Everything written to a log file so far.
inline std::string LogText(FILE *file) {
    if (!file) return "";
    fflush(file);
    std::string out(static_cast<size_t>(ftell(file)), '\0');
    rewind(file);
    out.resize(fread(out.data(), 1, out.size(), file));
    fseek(file, 0, SEEK_END);
    return out;
}

// Sets (or with nullopt unsets) an environment variable for one scope.
class EnvOverride {
  public:
    EnvOverride(const char *name, std::optional<std::string> value) : name_(name) {
        if (const char *old = getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~EnvOverride() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvOverride(const EnvOverride &) = delete;
    EnvOverride &operator=(const EnvOverride &) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

#ifdef GLOTTA_FAKES_DIR
// Directory of one fake plug-in behaviour: holds dxfilter.so and/or dxutil.so.
inline std::string FakeDir(const std::string &behaviour) {
    return std::string(GLOTTA_FAKES_DIR) + "/" + behaviour + "/";
}

// Lays out ROOT/BASE/_linux/bin/flt_dx.so and ROOT/BASE/_linux/filters/ with
// links to the fake plug-ins of `behaviour`; returns the bin directory (the
// entry for LD_LIBRARY_PATH).
inline std::string MakeInstallation(const TempDir &root, const std::string &behaviour,
                                    const std::string &base = "") {
    std::string prefix = base.empty() ? "" : base + "/";
    root.write(prefix + "_linux/bin/flt_dx.so", "");
    root.mkdir(prefix + "_linux/filters");
    for (const char *name : {"dxfilter.so", "dxutil.so"}) {
        fs::path target = FakeDir(behaviour) + name;
        if (fs::exists(target))
            fs::create_symlink(target, root.path() / (prefix + "_linux/filters") / name);
    }
    return root.str(prefix + "_linux/bin");
}
#endif

// The calls the fake plug-ins recorded, one per line, while it is alive.
class CallLog {
  public:
    CallLog() : env_("FAKE_DX_LOG", dir_.str("calls.log")) {}
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(ReadFile(dir_.str("calls.log")));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    void clear() const { fs::remove(dir_.path() / "calls.log"); }

  private:
    TempDir dir_;
    EnvOverride env_;
};

}  // namespace glotta_test

#endif
