# Opens the finished tool as a container: it must hold exactly "loader.bin", equal to the stub
# program, unencrypted (so the tool's fixed password opens it), with method 7 and the part size
# 0x7FFFFFFFFFFFFFFE, and pass a full check.
#   cmake -DCFSTOOL=... -DPACKAGE=... -DSTUB=... -DWORK=... -P CheckEmbeddedStub.cmake
function(run out)
  execute_process(COMMAND ${CFSTOOL} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cfstool ${ARGN} failed (${rc}): ${text}${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(expect text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected \"${pattern}\" in:\n${text}")
  endif()
endfunction()

run(info info ${PACKAGE} --password q7m)
expect("${info}" "Encryption: +none")
expect("${info}" "Default compression: 7 ")
expect("${info}" "Part size: +9223372036854775806\n")
expect("${info}" "Files: +1 ")
expect("${info}" "Folders: +0\n")
run(list list ${PACKAGE} --password q7m)
expect("${list}" " loader\\.bin\n1 files, 0 folders")
run(check check ${PACKAGE} --password q7m)

file(REMOVE_RECURSE ${WORK})
run(extract extract ${PACKAGE} ${WORK} --password q7m)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/loader.bin ${STUB} RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "loader.bin in ${PACKAGE} differs from ${STUB}")
endif()
file(REMOVE_RECURSE ${WORK})
