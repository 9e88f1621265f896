# The index benchmark is a plain timing harness over the engine alone, beside SQLite.
find_package(SQLite3 REQUIRED)
set_property(TARGET bench_index PROPERTY LINK_LIBRARIES dbv_bde SQLite::SQLite3)
