// The platform library's version, and the anchor source of libdbvantor-platform.so.
extern "C" const char* dbvantor_platform_version() { return "0.1"; }
