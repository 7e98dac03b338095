# GoogleTest: the Debian package natively, built from its Debian sources for Windows.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest defines the GTest:: aliases itself from 1.11 on.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Directory holding the shared specification data (../shared from the repository root).
get_filename_component(ZELK_SHARED_DIR ${CMAKE_SOURCE_DIR}/../shared ABSOLUTE)

# zelk_add_gtest(name SOURCES a.cpp ... LIBS lib ... [LABELS label ...])
# One test executable per call, registered with CTest (run under wine when cross-compiling), linked
# with the shared test helpers (tests/support).
# The label "concurrency" marks the tests the tsan preset runs; target concurrency_tests builds
# just those.
function(zelk_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelk_test_support GTest::gtest_main GTest::gtest)
  target_compile_definitions(${name} PRIVATE
    ZELK_SHARED_DIR="${ZELK_SHARED_DIR}"
    ZELK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ZELK_ARTIFACTS_DIR="${ZELK_ARTIFACTS_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if("concurrency" IN_LIST ARG_LABELS)
    if(NOT TARGET concurrency_tests)
      add_custom_target(concurrency_tests)
    endif()
    add_dependencies(concurrency_tests ${name})
  endif()
endfunction()
