// Throw-away directories under /tmp for tests that read and write real files, and
// the scratch working directory a whole-game test runs in (with the checkout's
// assets linked in), so a developer's own settings.cfg is never read or written.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "support/files.h"

namespace test_support {

// The current working directory; empty if it cannot be read.
inline std::string current_dir() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return {};
    return cwd;
}

// Makes a new, empty directory /tmp/<prefix>XXXXXX; empty on failure.
inline std::string make_scratch_dir(const std::string &prefix) {
    std::string tmpl = "/tmp/" + prefix + "XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) return {};
    return tmpl;
}

// Removes a scratch directory and all in it, also after a test took its write
// permission away; false if something is left.
inline bool remove_scratch_dir(const std::string &dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    ec.clear();
    fs::remove_all(dir, ec);
    return !ec;
}

// A scratch directory for one test's files, removed with all in it when the test
// ends; a fixture derives from it to have `dir`. Empty `dir`: it could not be made.
struct ScratchFiles {
    ScratchFiles() : dir(make_scratch_dir("vorbel_test_")) {}
    ~ScratchFiles() {
        if (!dir.empty()) remove_scratch_dir(dir);
    }
    ScratchFiles(const ScratchFiles &) = delete;
    ScratchFiles &operator=(const ScratchFiles &) = delete;

    std::string path(const std::string &name) const { return dir + "/" + name; }
    // Writes exactly these bytes to `name` in the directory and returns its path.
    std::string write(const std::string &name, const std::string &bytes) const {
        write_file(path(name), bytes);
        return path(name);
    }

    std::string dir;
};

// A scratch directory that is the working directory; `home` is where the test was.
struct ScratchCwd {
    std::string home;
    std::string path;  // empty when entering failed
};

// Makes a scratch directory, links home's "assets" into it when asked, and enters it.
inline ScratchCwd enter_scratch_dir(const std::string &prefix, bool link_assets) {
    ScratchCwd d;
    d.home = current_dir();
    if (d.home.empty()) return d;
    const std::string path = make_scratch_dir(prefix);
    if (path.empty()) return d;
    const bool linked = !link_assets || symlink((d.home + "/assets").c_str(), (path + "/assets").c_str()) == 0;
    if (!linked || chdir(path.c_str()) != 0) {
        remove_scratch_dir(path);
        return d;
    }
    d.path = path;
    return d;
}

// Goes back home and removes the scratch directory; false if either fails (when the
// way back fails the directory is kept, as it is still the working directory).
inline bool leave_scratch_dir(const ScratchCwd &d) {
    if (d.path.empty()) return true;
    if (chdir(d.home.c_str()) != 0) return false;
    return remove_scratch_dir(d.path);
}

}  // namespace test_support
