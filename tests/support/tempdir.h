// A temporary directory for one test, removed with everything in it when the object goes.
#pragma once
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <stdlib.h>

namespace dbvtest {

class TTempDir {
public:
    TTempDir() {
        char tmpl[] = "/tmp/dbv-test-XXXXXX";
        char* d = mkdtemp(tmpl);
        if (!d) throw std::runtime_error("mkdtemp failed");
        path_ = d;
    }
    ~TTempDir() {
        std::string cmd = "rm -rf '" + path_ + "'";
        (void)!std::system(cmd.c_str());
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace dbvtest
