# One short, repeatable fuzzing run for CTest: a fresh working corpus in the build tree (libFuzzer
# writes the inputs it finds into the first folder it is given, which must not be the repository's
# seed corpus), then the seeds and the kept crash inputs, a fixed seed and a fixed number of runs.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
set(arguments -runs=${RUNS} -seed=1 -max_len=${MAX_LEN} -timeout=20 -rss_limit_mb=2048
              -print_final_stats=1 "-artifact_prefix=${WORK}/")
if(DICTIONARY)
  list(APPEND arguments "-dict=${DICTIONARY}")
endif()
set(folders "${WORK}/corpus" "${SEEDS}")
if(EXISTS "${REGRESSIONS}")
  list(APPEND folders "${REGRESSIONS}")
endif()
execute_process(COMMAND "${FUZZER}" ${arguments} ${folders} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input that failed is in ${WORK}")
endif()
