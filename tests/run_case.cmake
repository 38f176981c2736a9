# run_case.cmake: runs one golden case (see golden.cmake) and compares bytes.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(base ${DATA}/${CASE})
set(out ${WORK}/output.ics)

file(STRINGS ${base}.args lines ENCODING UTF-8)
set(arguments)
foreach(line IN LISTS lines)
  string(REPLACE "@IN" "${base}.ics" line "${line}")
  string(REPLACE "@OUT" "${out}" line "${line}")
  string(REPLACE "@DATA" "${DATA}" line "${line}")
  string(REPLACE "@WORK" "${WORK}" line "${line}")
  list(APPEND arguments "${line}")
endforeach()

if(EXISTS ${base}.before)
  file(COPY_FILE ${base}.before ${out})
endif()
set(stdin_file /dev/null)
if(EXISTS ${base}.stdin)
  set(stdin_file ${base}.stdin)
endif()

execute_process(COMMAND ${PROGRAM} ${arguments}
  INPUT_FILE ${stdin_file}
  OUTPUT_FILE ${WORK}/stdout
  ERROR_FILE ${WORK}/stderr
  RESULT_VARIABLE status)

set(failures)
set(expected_status 0)
if(EXISTS ${base}.status)
  file(STRINGS ${base}.status expected_status)
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  list(APPEND failures "exit status ${status}, expected ${expected_status}")
endif()

function(expect_same actual expected what)
  if(EXISTS ${expected})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual} ${expected}
      RESULT_VARIABLE differ)
  else()
    file(SIZE ${actual} size)
    set(differ ${size})
  endif()
  if(differ)
    set(failures ${failures} "${what} differs from ${expected}" PARENT_SCOPE)
  endif()
endfunction()

if(EXISTS ${base}.html)
  expect_same(${WORK}/stdout ${base}.html "standard output")
else()
  expect_same(${WORK}/stdout ${base}.stdout "standard output")
endif()
expect_same(${WORK}/stderr ${base}.err "standard error")

if(EXISTS ${base}.out.ics)
  expect_same(${out} ${base}.out.ics "output file")
elseif(EXISTS ${base}.before)
  expect_same(${out} ${base}.before "kept output file")
endif()

file(GLOB left RELATIVE ${WORK} ${WORK}/* ${WORK}/.*)
list(REMOVE_ITEM left stdout stderr output.ics)
if(left)
  list(APPEND failures "files left behind: ${left}")
endif()

if(failures)
  foreach(failure IN LISTS failures)
    message(SEND_ERROR "${CASE}: ${failure}")
  endforeach()
  file(READ ${WORK}/stderr err)
  message(FATAL_ERROR "standard error was:\n${err}")
endif()
