// Shared helpers of the table engine's tests: a temporary directory per test, running
// programs, and building small tables.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/tempdir.h"

#include "bde/cursor.h"
#include "bde/dbftable.h"
#include "bde/errors.h"

namespace bdetest {

using TempDir = dbvtest::TTempDir;

struct RunResult {
    int Status = -1;
    std::string Out;
};

// Runs a shell command line and captures standard output (standard error too with merge).
inline RunResult Run(const std::string& cmd, bool mergeStderr = false) {
    RunResult r;
    std::string full = cmd + (mergeStderr ? " 2>&1" : "");
    FILE* p = popen(full.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Out.append(buf, n);
    int st = pclose(p);
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline int ErrorCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const vcl::EDBEngineError& e) {
        return e.ErrorCode();
    }
    return 0;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace bdetest
