# golden_case.cmake: run_golden_case(), which runs one golden case (see
# golden.cmake) and compares bytes. The caller sets PROGRAM and DATA, and
# COMMAND_PREFIX (none, or a program that runs PROGRAM with standard output
# changed).
set(golden_case_folder ${CMAKE_CURRENT_LIST_DIR})

# The arguments go to the program exactly as the .args file has them, one a
# line: CMake's lists would split them on ";" and drop empty ones, so a shell
# reads the lines. A file whose lines cannot all be told apart exactly is a
# broken case, not a passing one.
function(read_golden_arguments args_file work result)
  file(READ ${args_file} hex HEX)
  if(hex MATCHES "^(..)*00")
    set(problem "it holds a NUL byte")
  elseif(hex MATCHES "^(..)*0d")
    set(problem "it holds a CR byte (CRLF line ends?)")
  elseif(NOT hex STREQUAL "" AND NOT hex MATCHES "0a$")
    set(problem "its last line has no line end")
  endif()
  if(problem)
    message(FATAL_ERROR "${args_file}: the arguments cannot be passed exactly: ${problem}")
  endif()
  file(READ ${args_file} text)
  string(REPLACE "@IN" "${base}.ics" text "${text}")
  string(REPLACE "@OUT" "${out}" text "${text}")
  string(REPLACE "@DATA" "${DATA}" text "${text}")
  string(REPLACE "@WORK" "${work}" text "${text}")
  file(WRITE ${result} "${text}")
endfunction()

# Sets case_failures in the caller: one text per difference, none when the
# case passed.
function(run_golden_case case work)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  set(base ${DATA}/${case})
  set(out ${work}/output.ics)
  read_golden_arguments(${base}.args ${work} ${work}/arguments)

  if(EXISTS ${base}.before)
    configure_file(${base}.before ${out} COPYONLY)
  endif()
  set(stdin_file /dev/null)
  if(EXISTS ${base}.stdin)
    set(stdin_file ${base}.stdin)
  endif()

  execute_process(
    COMMAND bash ${golden_case_folder}/exec_with_arguments.sh ${work}/arguments
      ${COMMAND_PREFIX} ${PROGRAM}
    INPUT_FILE ${stdin_file}
    OUTPUT_FILE ${work}/stdout
    ERROR_FILE ${work}/stderr
    RESULT_VARIABLE status)

  file(WRITE ${work}/status "${status}\n")
  set(failures)
  set(expected_status 0)
  if(EXISTS ${base}.status)
    file(STRINGS ${base}.status expected_status)
  endif()
  if(NOT "${status}" STREQUAL "${expected_status}")
    list(APPEND failures "exit status ${status}, expected ${expected_status}")
  endif()

  if(EXISTS ${base}.html)
    expect_same(${work}/stdout ${base}.html "standard output")
  else()
    expect_same(${work}/stdout ${base}.stdout "standard output")
  endif()
  # getopt names the program by its path: @PROGRAM in NAME.err stands for it.
  if(EXISTS ${base}.err)
    file(READ ${base}.err expected_err)
    string(REPLACE "@PROGRAM" "${PROGRAM}" expected_err "${expected_err}")
    string(REPLACE "@WORK" "${work}" expected_err "${expected_err}")
    string(REPLACE "@DATA" "${DATA}" expected_err "${expected_err}")
    file(WRITE ${work}/expected.err "${expected_err}")
    expect_same(${work}/stderr ${work}/expected.err "standard error")
  else()
    expect_same(${work}/stderr ${base}.err "standard error")
  endif()

  if(EXISTS ${base}.out.ics)
    expect_same(${out} ${base}.out.ics "output file")
  elseif(EXISTS ${base}.before)
    expect_same(${out} ${base}.before "kept output file")
  endif()

  file(GLOB left RELATIVE ${work} ${work}/* ${work}/.*)
  list(REMOVE_ITEM left stdout stderr status output.ics expected.err arguments)
  if(left)
    list(APPEND failures "files left behind: ${left}")
  endif()
  set(case_failures ${failures} PARENT_SCOPE)
endfunction()

# Rewrites the case's expected files from the run left in work: standard
# output into NAME.html (or NAME.stdout where that is the case's file),
# standard error with the program's path and the folders put back as
# @PROGRAM, @WORK and @DATA, the status, and the output file where the case
# expects one. An empty result removes the file, as absent means empty.
function(update_golden_case case work)
  set(base ${DATA}/${case})
  set(stdout_file ${base}.stdout)
  if(EXISTS ${base}.html OR (NOT EXISTS ${base}.stdout AND PROGRAM MATCHES "evtable$"))
    set(stdout_file ${base}.html)
  endif()
  foreach(pair "${work}/stdout|${stdout_file}" "${work}/stderr|${base}.err")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${from} text)
    if(to STREQUAL "${base}.err")
      string(REPLACE "${PROGRAM}" "@PROGRAM" text "${text}")
      string(REPLACE "${work}" "@WORK" text "${text}")
      string(REPLACE "${DATA}" "@DATA" text "${text}")
    endif()
    if(text STREQUAL "")
      file(REMOVE ${to})
    else()
      file(WRITE ${to} "${text}")
    endif()
  endforeach()
  file(STRINGS ${work}/status status)
  if(status STREQUAL "0")
    file(REMOVE ${base}.status)
  else()
    file(WRITE ${base}.status "${status}\n")
  endif()
  if(EXISTS ${base}.out.ics)
    configure_file(${work}/output.ics ${base}.out.ics COPYONLY)
  endif()
endfunction()

# An absent expected file stands for empty content. The bytes are compared
# here rather than by a "cmake -E compare_files" process per file, which
# costs about as much as a run of the program.
macro(expect_same actual expected what)
  file(READ ${actual} actual_bytes HEX)
  set(expected_bytes "")
  if(EXISTS ${expected})
    file(READ ${expected} expected_bytes HEX)
  endif()
  if(NOT actual_bytes STREQUAL expected_bytes)
    list(APPEND failures "${what} differs from ${expected}")
  endif()
endmacro()
