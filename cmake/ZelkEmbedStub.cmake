# zelk_embed_stub(TARGET <image target> STUB <stub target> OUTPUT <path>)
#
# Builds the shipped tool: OUTPUT = the image of TARGET + a 280-byte wrapper header + a container
# whose root holds only "loader.bin" (the file of STUB), compression method 7, not encrypted,
# wrapper part size 0x7FFFFFFFFFFFFFFE. The program finds that container behind its own image
# at start-up and opens it with its fixed password (an unencrypted container opens with any).
#
# Include this file where the targets are defined and call it there, e.g. in app/CMakeLists.txt:
#   include(${CMAKE_SOURCE_DIR}/cmake/ZelkEmbedStub.cmake)
#   zelk_embed_stub(TARGET zelk_tool STUB zelk_stub
#                   OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/Zelk配置备份工具.exe)
# STUB may be defined later in the configure (stub/ after app/): targets are resolved when the
# build system is generated. When TARGET itself would write OUTPUT (same output name), its image
# is renamed to "<name>_image" so that the bare image and the finished tool never clash.
#
# The container is built by cfstool running on the build machine. In a cross build (win64) a
# native cfstool is configured and built from this source tree into <build>/host (tests off, only
# the cfstool target) the first time it is needed; set ZELK_HOST_CFSTOOL to an existing native
# cfstool to use that instead. In a native build the project's own cfstool target is used.
include_guard(GLOBAL)
include(ExternalProject)

set(ZELK_HOST_CFSTOOL "" CACHE FILEPATH "Native cfstool used to embed the stub (empty: build one)")

# The cfstool command to run on the build machine; defines the target that makes it if needed.
function(_zelk_host_cfstool out_command out_depends)
  if(ZELK_HOST_CFSTOOL)
    set(${out_command} "${ZELK_HOST_CFSTOOL}" PARENT_SCOPE)
    set(${out_depends} "" PARENT_SCOPE)
  elseif(CMAKE_CROSSCOMPILING)
    set(host_dir ${CMAKE_BINARY_DIR}/host)
    set(host_tool ${host_dir}/tools/cfstool)
    if(NOT TARGET zelk_host_cfstool)
      # The host build is a plain native configure of this tree: no toolchain file, no tests, no
      # sanitizers; only cfstool (and the libraries it links) is built.
      ExternalProject_Add(zelk_host_cfstool
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${host_dir}
        CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZELK_BUILD_TESTS=OFF -DZELK_SANITIZE=OFF
                   -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
        # One job: the outer build already runs its own jobs beside this one.
        BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS
                      ${CMAKE_COMMAND} --build ${host_dir} --target cfstool
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${host_tool}
        INSTALL_COMMAND ""
        STEP_TARGETS build)
    endif()
    set(${out_command} ${host_tool} PARENT_SCOPE)
    set(${out_depends} zelk_host_cfstool ${host_tool} PARENT_SCOPE)
  else()
    set(${out_command} $<TARGET_FILE:cfstool> PARENT_SCOPE)
    set(${out_depends} cfstool PARENT_SCOPE)
  endif()
endfunction()

function(zelk_embed_stub)
  cmake_parse_arguments(ARG "" "TARGET;STUB;OUTPUT" "" ${ARGN})
  if(NOT ARG_TARGET OR NOT ARG_STUB OR NOT ARG_OUTPUT)
    message(WARNING "zelk_embed_stub: TARGET, STUB and OUTPUT are all needed; nothing embedded")
    return()
  endif()

  # Keep the bare image apart from the finished tool.
  get_filename_component(out_name ${ARG_OUTPUT} NAME_WE)
  get_target_property(image_name ${ARG_TARGET} OUTPUT_NAME)
  if(NOT image_name)
    set(image_name ${ARG_TARGET})
  endif()
  if(image_name STREQUAL out_name)
    set_target_properties(${ARG_TARGET} PROPERTIES OUTPUT_NAME "${image_name}_image")
  endif()

  _zelk_host_cfstool(cfstool cfstool_depends)
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}_embed)
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${ARG_STUB}> ${stage}/loader.bin
    COMMAND ${cfstool} create ${ARG_OUTPUT} ${stage}/loader.bin --stub $<TARGET_FILE:${ARG_TARGET}>
            --method 7 --part-size 0x7FFFFFFFFFFFFFFE
    DEPENDS ${ARG_TARGET} ${ARG_STUB} ${cfstool_depends}
    COMMENT "Appending the restore stub container to ${out_name}"
    VERBATIM)
  add_custom_target(${ARG_TARGET}_with_stub ALL DEPENDS ${ARG_OUTPUT})
  # For the test that opens the finished tool again (tests/tools).
  set_property(GLOBAL APPEND PROPERTY ZELK_EMBEDDED_TOOLS "${ARG_OUTPUT}")
  set_property(GLOBAL PROPERTY ZELK_EMBED_CFSTOOL "${cfstool}")
  set_property(GLOBAL PROPERTY ZELK_EMBED_STUB_${ARG_TARGET} "$<TARGET_FILE:${ARG_STUB}>")
endfunction()
