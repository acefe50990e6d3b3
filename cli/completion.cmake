# Writes korvex-cli's bash completion: cmake -DCLI=korvex-cli -DOUT=file -P completion.cmake
# (a sanitized build must not fail the build over a leak report at exit).
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${CLI} completion bash OUTPUT_FILE ${OUT}.tmp RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUT}.tmp)
  message(FATAL_ERROR "'${CLI} completion bash' failed: ${result}")
endif()
file(RENAME ${OUT}.tmp ${OUT})
