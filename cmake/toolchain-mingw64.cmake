# Cross build for 64-bit Windows with mingw-w64 (posix thread model, static runtime).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELK_MINGW_TRIPLE}-windres)

get_filename_component(ZELK_MINGW_DEPS ${CMAKE_CURRENT_LIST_DIR}/../.deps/mingw ABSOLUTE)
set(ZELK_MINGW_SYSROOT /usr/${ZELK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${ZELK_MINGW_SYSROOT} ${ZELK_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything links statically, so the programs run on a bare Windows (and under wine) alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# zlib comes from libz-mingw-w64-dev, bzip2 from scripts/setup (.deps/mingw). Both are named
# directly so the static archives win over import libraries of DLLs.
set(ZLIB_INCLUDE_DIR ${ZELK_MINGW_SYSROOT}/include CACHE PATH "mingw zlib headers")
set(ZLIB_LIBRARY ${ZELK_MINGW_SYSROOT}/lib/libz.a CACHE FILEPATH "mingw zlib (static)")
set(BZIP2_INCLUDE_DIR ${ZELK_MINGW_DEPS}/include CACHE PATH "mingw bzip2 headers")
set(BZIP2_LIBRARY_RELEASE ${ZELK_MINGW_DEPS}/lib/libbz2.a CACHE FILEPATH "mingw bzip2 (static)")
if(NOT EXISTS ${ZELK_MINGW_DEPS}/lib/libbz2.a)
  message(FATAL_ERROR "bzip2 for mingw is missing in ${ZELK_MINGW_DEPS}: run scripts/setup first")
endif()

# Test executables and other Windows programs run under wine through this wrapper.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ABSOLUTE)
