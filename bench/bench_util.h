// Command line shared by the table benchmarks: bench_x [RECORDS [DIRECTORY]].
#pragma once
#include <cstdlib>
#include <string>

#include <stdlib.h>

namespace benchutil {

// The record count (argument 1, default 1,000,000).
inline long RecordCount(int argc, char** argv) {
    return argc > 1 ? std::atol(argv[1]) : 1000000;
}

// The directory for the generated files (argument 2, else a new one under /tmp named after
// the benchmark).
inline std::string WorkDir(int argc, char** argv, const std::string& name) {
    if (argc > 2) return argv[2];
    std::string tmpl = "/tmp/bench-" + name + "-XXXXXX";
    char* d = mkdtemp(tmpl.data());
    return d ? std::string(d) : std::string("/tmp");
}

}  // namespace benchutil
