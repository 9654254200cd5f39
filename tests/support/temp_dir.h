// Test scratch space: a private temporary directory removed with its contents, and a
// site (VERDANE_HOME) inside one for tests that use the product directories.
#ifndef TESTS_SUPPORT_TEMP_DIR_H
#define TESTS_SUPPORT_TEMP_DIR_H

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/vdweb-test-XXXXXX";
        const char* made = mkdtemp(tmpl);
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Points VERDANE_HOME at `path` for the object's lifetime, then back at the home in force
// before (or none).
class ScopedHome {
public:
    explicit ScopedHome(const std::string& path) {
        if (const char* old = getenv("VERDANE_HOME")) saved_ = old;
        setenv("VERDANE_HOME", path.c_str(), 1);
        tbs_reset_product_dir();
        fileutl_reset_tmpdir();
    }
    ~ScopedHome() {
        if (saved_.empty())
            unsetenv("VERDANE_HOME");
        else
            setenv("VERDANE_HOME", saved_.c_str(), 1);
        tbs_reset_product_dir();
        fileutl_reset_tmpdir();
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

private:
    std::string saved_;
};

// Points VERDANE_HOME at a fresh directory for the object's lifetime.
class TempHome {
public:
    const std::string& path() const { return dir_.path(); }

private:
    TempDir dir_;
    ScopedHome home_{dir_.path()};
};

#endif
