# Fails unless the module's defined dynamic symbols are exactly GetPluginFactory, ModuleEntry
# and ModuleExit. Run with -DMODULE=<path to the .so> -DNM=<nm>.
if(NOT EXISTS "${MODULE}")
    message(FATAL_ERROR "module not found: ${MODULE}")
endif()
if(NOT NM)
    set(NM nm)
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()

string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
    # "<address> <type> <name>[@version]"
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
        list(APPEND names "${CMAKE_MATCH_1}")
    endif()
endforeach()
list(SORT names)

set(expected GetPluginFactory ModuleEntry ModuleExit)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${names}")
