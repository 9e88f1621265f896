# Helpers shared by every directory of the tree.

# dbv_area(NAME SOURCES... DEPS libs...)
# One area of the platform (rtl, classes, graphics, bde, ...) is a static library of
# position-independent objects; the shared platform library is the union of the areas.
# Tests link the areas they need, so one area can be built and tested on its own.
function(dbv_area name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(dbv_${name} STATIC ${A_SOURCES})
  target_include_directories(dbv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform)
  target_link_libraries(dbv_${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  set_property(GLOBAL APPEND PROPERTY DBV_PLATFORM_AREAS dbv_${name})
endfunction()

# dbv_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per area, registered with CTest.
function(dbv_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE DBV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             DBV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()
