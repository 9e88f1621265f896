// Where the test binaries live: the build tree is found from the running executable
// (build/bin/test_x), so no absolute path is compiled in and build objects stay the same
// whatever folder the tree was cloned into.
#pragma once
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace dbvtest {

// The build directory (the parent of the executables' bin directory).
inline std::string BuildDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, size_t(n));
    std::string bin = exe.substr(0, exe.rfind('/'));
    return bin.substr(0, bin.rfind('/'));
}

// The source tree: CTest passes it in DBV_SOURCE_DIR; run by hand from a build directory
// inside the tree, it is the build directory's parent.
inline std::string SourceDir() {
    if (const char* d = std::getenv("DBV_SOURCE_DIR"); d && *d) return d;
    return BuildDir() + "/..";
}

}  // namespace dbvtest
