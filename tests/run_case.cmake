# run_case.cmake: runs golden cases (see golden.cmake) and compares bytes.
#   cmake -DPROGRAM=... -DDATA=... -DCASE=... -DWORK=... -P run_case.cmake
#   cmake -DPROGRAM=... -DDATA=... -DBATCH=I -DBATCHES=N -DWORK=... -P run_case.cmake
# The first runs the case CASE in WORK; the second runs the I-th of N shares
# of the folder's cases (by name, every N-th from the I-th), each in
# WORK/NAME, and reports every case that fails. EVTOOLS_GOLDEN_CASES in the
# environment, a regular expression, keeps only the cases whose names match.
# With UPDATE_GOLDEN=1 in the environment, a case that differs has its
# expected files rewritten from what the program did instead (review the
# diff before committing it).
include(${CMAKE_CURRENT_LIST_DIR}/golden_case.cmake)

if(DEFINED CASE)
  set(cases ${CASE})
else()
  file(GLOB case_files RELATIVE ${DATA} ${DATA}/*.args)
  list(SORT case_files)
  set(cases)
  set(index 0)
  foreach(case_file ${case_files})
    math(EXPR share "${index} % ${BATCHES} + 1")
    math(EXPR index "${index} + 1")
    if(share EQUAL BATCH)
      string(REGEX REPLACE "\\.args$" "" case ${case_file})
      list(APPEND cases ${case})
    endif()
  endforeach()
endif()
set(pattern "$ENV{EVTOOLS_GOLDEN_CASES}")
if(NOT pattern STREQUAL "")
  list(FILTER cases INCLUDE REGEX "${pattern}")
endif()

set(failed)
set(rewritten)
foreach(case ${cases})
  if(DEFINED CASE)
    set(case_work ${WORK})
  else()
    set(case_work ${WORK}/${case})
  endif()
  run_golden_case(${case} ${case_work})
  if(case_failures AND "$ENV{UPDATE_GOLDEN}" STREQUAL "1")
    update_golden_case(${case} ${case_work})
    list(APPEND rewritten ${case})
  elseif(case_failures)
    list(APPEND failed ${case})
    foreach(failure IN LISTS case_failures)
      message(SEND_ERROR "${case}: ${failure}")
    endforeach()
    file(READ ${case_work}/stderr err)
    message("${case}: standard error was:\n${err}")
  endif()
endforeach()

list(LENGTH cases total)
if(failed)
  list(LENGTH failed count)
  message(FATAL_ERROR "${count} of ${total} cases failed: ${failed}")
endif()
if(rewritten)
  message(STATUS "expected files rewritten: ${rewritten}")
elseif(NOT DEFINED CASE)
  message(STATUS "${total} cases passed")
endif()
