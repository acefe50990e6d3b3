# cmake -DLIB=path/to/libkorvex_api.so -P link_exports_check.cmake
# Fails unless the library's dynamic symbol table defines exactly the nine exports.
execute_process(COMMAND nm -D --defined-only ${LIB}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" lines "${out}")
set(names)
foreach(line ${lines})
  string(STRIP "${line}" name)
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(want ComClose ComInitial Read1KData ResetCard SetTime Write1KData Write1KData_Ex WriteNotSave WriteSpecial)
if(NOT names STREQUAL want)
  message(FATAL_ERROR "exports are: ${names}\nexpected:   ${want}")
endif()
message(STATUS "exactly the nine exports")
