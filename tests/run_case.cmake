# run_case.cmake: runs one golden case (see golden.cmake) and compares bytes.
#   cmake -DPROGRAM=... -DDATA=... -DCASE=... -DWORK=... -P run_case.cmake
# With UPDATE_GOLDEN=1 in the environment, a case that differs has its
# expected files rewritten from what the program did instead (review the
# diff before committing it).
include(${CMAKE_CURRENT_LIST_DIR}/golden_case.cmake)

run_golden_case(${CASE} ${WORK})
if(case_failures AND "$ENV{UPDATE_GOLDEN}" STREQUAL "1")
  update_golden_case(${CASE} ${WORK})
  message(STATUS "${CASE}: expected files rewritten")
  return()
endif()
if(case_failures)
  foreach(failure IN LISTS case_failures)
    message(SEND_ERROR "${CASE}: ${failure}")
  endforeach()
  file(READ ${WORK}/stderr err)
  message(FATAL_ERROR "standard error was:\n${err}")
endif()
