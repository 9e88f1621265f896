# Helpers shared by every directory of the tree.

# dbv_area(NAME SOURCES... DEPS libs...)
# One area of the platform (rtl, classes, graphics, bde, ...) is a static library of
# position-independent objects; the shared platform library is the union of the areas.
# Tests link the areas they need, so one area can be built and tested on its own.
#
# PCH lists the headers precompiled for the area's own sources (most units include them anyway).
# Every public header of the area (not *internal.h or *_impl.h) is also checked to compile on
# its own, as part of the normal build.
function(dbv_area name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS;PCH" ${ARGN})
  add_library(dbv_${name} STATIC ${A_SOURCES})
  target_include_directories(dbv_${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform)
  target_link_libraries(dbv_${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  if(A_PCH AND DBV_PCH)
    target_precompile_headers(dbv_${name} PRIVATE ${A_PCH})
  endif()
  set_property(GLOBAL APPEND PROPERTY DBV_PLATFORM_AREAS dbv_${name})
  dbv_check_headers(dbv_${name} ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# Compiles each public header of DIR alone (syntax only), with TARGET's include directories.
function(dbv_check_headers target dir)
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  list(FILTER headers EXCLUDE REGEX "(internal|_impl)\\.h$")
  set(stamps)
  foreach(h ${headers})
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${h})
    string(REPLACE "/" "_" id ${rel})
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/header-check/${id}.stamp)
    add_custom_command(
      OUTPUT ${stamp}
      COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -Wall -Wextra -x c++
              "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,;-I>"
              -MD -MF ${stamp}.d -MT ${stamp} -include ${h} /dev/null
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${h}
      DEPFILE ${stamp}.d
      COMMENT "Header compiles alone: ${rel}"
      COMMAND_EXPAND_LISTS VERBATIM)
    list(APPEND stamps ${stamp})
  endforeach()
  add_custom_target(${target}_headers ALL DEPENDS ${stamps})
endfunction()

# dbv_test(NAME SOURCES... LIBS libs...)
# One GoogleTest executable per area, registered with CTest.
function(dbv_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PCH" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(DBV_PCH)
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> ${T_PCH})
  endif()
  # Paths reach the tests through the environment, not the compile line, so build objects do
  # not depend on the folder the tree sits in (ccache shares them between clones).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 600 ENVIRONMENT "DBV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
