# run_cases.cmake: runs the golden cases of a folder that write a document,
# all in one go, with the program's standard output changed, and compares
# the same bytes as the one-case runner does.
#   cmake -DPROGRAM=... -DDATA=... -DWORK=... -DSTDOUT=terminal|line_buffered
#         [-DPTY_RUN=...] -P run_cases.cmake
# terminal: standard output on a pseudo-terminal (pty_run); line_buffered:
# stdio's line buffering on a file (stdbuf -oL). Both are the way a program
# writes where its output is watched, and neither may change a byte of it.
#
# Each run takes a seeded sample of 60 cases, as tests/seeded_sample.sh does
# for the shell tests: EVTOOLS_TEST_SEED replays a run's sample (the seed is
# printed), and EVTOOLS_FULL_TESTS=1 runs every case.
include(${CMAKE_CURRENT_LIST_DIR}/golden_case.cmake)

if(STDOUT STREQUAL "terminal")
  set(COMMAND_PREFIX ${PTY_RUN})
elseif(STDOUT STREQUAL "line_buffered")
  set(COMMAND_PREFIX stdbuf -oL)
else()
  message(FATAL_ERROR "run_cases.cmake: STDOUT must be terminal or line_buffered, not '${STDOUT}'")
endif()

# Only the cases that write a document: a run refused before writing leaves
# standard output alone, whatever it is.
file(GLOB cases RELATIVE ${DATA} ${DATA}/*.html)
set(seed "$ENV{EVTOOLS_TEST_SEED}")
if(seed STREQUAL "")
  string(RANDOM LENGTH 7 ALPHABET 123456789 seed)
endif()
if("$ENV{EVTOOLS_FULL_TESTS}" STREQUAL "1")
  message(STATUS "every case (EVTOOLS_FULL_TESTS=1)")
else()
  message(STATUS "a sample, seed ${seed} (EVTOOLS_TEST_SEED=${seed} replays it; "
    "EVTOOLS_FULL_TESTS=1 runs every case)")
  # The cases in the order of a hash of the seed, the way of writing and the
  # name: the first 60 are the sample, another for each seed and each way.
  set(keyed)
  foreach(case_file ${cases})
    string(MD5 key "${seed} ${STDOUT} ${case_file}")
    list(APPEND keyed "${key}|${case_file}")
  endforeach()
  list(SORT keyed)
  list(LENGTH keyed count)
  if(count GREATER 60)
    list(SUBLIST keyed 0 60 keyed)
  endif()
  list(TRANSFORM keyed REPLACE "^[^|]*[|]" "")
  list(SORT keyed)
  set(cases ${keyed})
endif()
set(failed)
foreach(case_file ${cases})
  string(REGEX REPLACE "\\.html$" "" case ${case_file})
  run_golden_case(${case} ${WORK}/${case})
  foreach(failure IN LISTS case_failures)
    message(SEND_ERROR "${case}: ${failure}")
  endforeach()
  if(case_failures)
    list(APPEND failed ${case})
  endif()
endforeach()
list(LENGTH cases total)
if(failed)
  list(LENGTH failed count)
  message(FATAL_ERROR "${count} of ${total} cases failed with standard output ${STDOUT}")
endif()
message(STATUS "${total} cases passed with standard output ${STDOUT}")
