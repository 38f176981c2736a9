# evtools_unit_tests(NAME LIBRARY): one GoogleTest binary of the folder's
# *_test.cc files and the shared test helpers (tests/test_helpers.cc), linked
# with the folder's library. It runs as EVTOOLS_UNIT_SHARDS tests, each a
# GoogleTest shard of it (NAME.shard_I), not as one process per test: the
# sanitizers' start-up cost a tenth of a second per process. A failing test
# names itself in the shard's output; bin/NAME --gtest_filter=SUITE.TEST runs
# it alone.
set(EVTOOLS_UNIT_SHARDS 4)
function(evtools_unit_tests name library)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  if(sources)
    add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/test_helpers.cc)
    target_link_libraries(${name} PRIVATE ${library} ${EVTOOLS_GTEST_MAIN})
    # A debug build may optimize the code under test (make test builds it at
    # -O1, as the sanitizers advise); the tests' own sources stay at -O0:
    # they are most of the build's time and little of the run's.
    target_compile_options(${name} PRIVATE $<$<CONFIG:Debug>:-O0>)
    # GoogleTest's header, parsed once per binary instead of once per file:
    # with clang it was half of the tests' build time.
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <string> <vector>)
    math(EXPR last "${EVTOOLS_UNIT_SHARDS} - 1")
    foreach(shard RANGE ${last})
      add_test(NAME ${name}.shard_${shard} COMMAND ${name} --gtest_color=no)
      set_tests_properties(${name}.shard_${shard} PROPERTIES
        ENVIRONMENT "GTEST_TOTAL_SHARDS=${EVTOOLS_UNIT_SHARDS};GTEST_SHARD_INDEX=${shard}"
        TIMEOUT 600)
    endforeach()
  endif()
endfunction()

# golden.cmake: the golden cases of a program's testdata folder, run in
# shares of about EVTOOLS_GOLDEN_SHARE cases, each share a CTest
# (PROGRAM.golden_cases.I) that runs its cases in one process and names every
# case that fails: a CTest per case cost as much again as the cases.
#
# A case NAME is NAME.args (one argument a line, passed byte for byte: an
# empty line is an empty argument; every line ends with LF, and a file with a
# CR or NUL byte is refused) with any of:
#   NAME.ics       the input, named in the arguments as @IN
#   NAME.stdin     standard input (otherwise none)
#   NAME.before    the output file's content before the run (@OUT)
#   NAME.html, NAME.stdout   expected standard output (empty when absent)
#   NAME.out.ics   expected output file; without it, with NAME.before, the
#                  output must still hold NAME.before byte for byte
#   NAME.err       expected standard error (empty when absent); @PROGRAM
#                  (the program's path, as getopt names it), @WORK and
#                  @DATA are replaced in it
#   NAME.status    expected exit status (0 when absent)
# UPDATE_GOLDEN=1 in ctest's environment rewrites the expected files of every
# case that differs from what the program now does; review the diff.
# EVTOOLS_GOLDEN_CASES=REGEX in ctest's environment runs only the cases whose
# names match: EVTOOLS_GOLDEN_CASES='^month_basic$' ctest -R evtable.golden
# In the arguments, @IN, @OUT, @DATA (the testdata folder) and @WORK (the
# case's scratch folder) are replaced. After the run the scratch folder must
# hold no file but those the case made.
set(EVTOOLS_GOLDEN_SHARE 70)
function(evtools_golden_tests program folder)
  file(GLOB cases CONFIGURE_DEPENDS RELATIVE ${folder} ${folder}/*.args)
  list(LENGTH cases count)
  if(count EQUAL 0)
    return()
  endif()
  math(EXPR shares "(${count} + ${EVTOOLS_GOLDEN_SHARE} - 1) / ${EVTOOLS_GOLDEN_SHARE}")
  foreach(share RANGE 1 ${shares})
    add_test(NAME ${program}.golden_cases.${share}
      COMMAND ${CMAKE_COMMAND}
        -DPROGRAM=$<TARGET_FILE:${program}>
        -DDATA=${folder}
        -DBATCH=${share}
        -DBATCHES=${shares}
        -DWORK=${CMAKE_CURRENT_BINARY_DIR}/golden
        -P ${CMAKE_SOURCE_DIR}/tests/run_case.cmake)
    set_tests_properties(${program}.golden_cases.${share} PROPERTIES
      ENVIRONMENT "${EVTOOLS_PROGRAM_ENV}" TIMEOUT 600)
  endforeach()
endfunction()
