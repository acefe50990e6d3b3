# cmake -DVERSION=x.y -DKORVEX=... -DCLI=... -DSIM=... -P programs_version_check.cmake
# Each program's --version (and 'korvex-cli version') prints "<program>
# <version>" and ends at once with status 0: the desktop program without
# opening its window, which would keep it running until the time limit.
set(runs
  "korvex|${KORVEX}|--version"
  "korvex-cli|${CLI}|--version"
  "korvex-cli|${CLI}|version"
  "korvex-sim|${SIM}|--version")
set(failures "")
foreach(run ${runs})
  string(REPLACE "|" ";" run "${run}")
  list(GET run 0 name)
  list(GET run 1 exe)
  list(GET run 2 arg)
  execute_process(COMMAND ${exe} ${arg} TIMEOUT 20
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc STREQUAL "0" OR NOT out STREQUAL "${name} ${VERSION}\n")
    string(APPEND failures "  ${name} ${arg}: status '${rc}', printed '${out}' ${err}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "--version does not print the version and end:\n${failures}")
endif()
message(STATUS "every program prints version ${VERSION}")
