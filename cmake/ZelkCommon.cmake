# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra)
# GCC 12's optimiser mistakes libstdc++'s own string building ("x" + std::string, insert at 0)
# for overlapping or oversized copies and warns from inside the library headers; which lines trip
# it changes with inlining, not with the code. The sanitizer builds check real overlaps at run time.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict -Wno-stringop-overread)
endif()
if(ZELK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
option(ZELK_TSAN "Build with ThreadSanitizer" OFF)
if(ZELK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(WIN32)
  # Unicode Win32 APIs, no min/max macros, Windows 7 API level.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
endif()

# Sources and headers are included relative to the repository root: #include "cfs/CFSHugeFile.h".
include_directories(${CMAKE_SOURCE_DIR})

# Where run-time artefacts (screenshots, demo output) of tests and scripts go.
set(ZELK_ARTIFACTS_DIR ${CMAKE_BINARY_DIR}/artifacts)
file(MAKE_DIRECTORY ${ZELK_ARTIFACTS_DIR})

# zelk_add_subdirs(a b ...): adds each listed subdirectory that has a CMakeLists.txt, so a
# component can be added to the tree without editing its parent.
macro(zelk_add_subdirs)
  foreach(_zelk_sub ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_zelk_sub}/CMakeLists.txt)
      add_subdirectory(${_zelk_sub})
    endif()
  endforeach()
endmacro()
