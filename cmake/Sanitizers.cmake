# Instrumented builds of the whole project (JUCE modules included), chosen at configure time:
#   -DQUOLBANE_SANITIZE=address   AddressSanitizer + UndefinedBehaviorSanitizer, errors abort
#   -DQUOLBANE_SANITIZE=thread    ThreadSanitizer
#   -DQUOLBANE_SANITIZE=fuzzer    libFuzzer coverage + ASan + UBSan; only fuzzer executables link libFuzzer
# Loaded with -DCMAKE_PROJECT_INCLUDE=<this file> (scripts/sanitize.sh, scripts/fuzz.sh), so it runs
# right after project() and before any target: every object, JUCE's included, gets the flags.
set(QUOLBANE_SANITIZE "" CACHE STRING "Sanitizer build: empty, address, thread or fuzzer")

if(QUOLBANE_SANITIZE)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "QUOLBANE_SANITIZE needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
    endif()

    if(QUOLBANE_SANITIZE STREQUAL "address")
        set(_flags "-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
        set(_link "-fsanitize=address,undefined")
    elseif(QUOLBANE_SANITIZE STREQUAL "thread")
        set(_flags "-fsanitize=thread -fno-omit-frame-pointer")
        set(_link "-fsanitize=thread")
    elseif(QUOLBANE_SANITIZE STREQUAL "fuzzer")
        set(_flags "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
        set(_link "-fsanitize=address,undefined")
    else()
        message(FATAL_ERROR "Unknown QUOLBANE_SANITIZE value '${QUOLBANE_SANITIZE}'")
    endif()
    string(APPEND _flags " -fsanitize-ignorelist=${CMAKE_CURRENT_LIST_DIR}/sanitizer-ignorelist.txt")

    foreach(lang C CXX)
        set(CMAKE_${lang}_FLAGS "${CMAKE_${lang}_FLAGS} ${_flags}")
    endforeach()
    foreach(kind EXE SHARED MODULE)
        set(CMAKE_${kind}_LINKER_FLAGS "${CMAKE_${kind}_LINKER_FLAGS} ${_link}")
    endforeach()
    message(STATUS "Sanitizer build: ${QUOLBANE_SANITIZE}")
endif()

# The VST3 module links with --no-undefined, but a sanitized shared object leaves the sanitizer
# runtime to the executable that loads it (clang links the runtime into executables only).
function(_quolbane_sanitized_module)
    if(TARGET Quolbane_VST3)
        target_link_options(Quolbane_VST3 PRIVATE "-Wl,-z,undefs")
    endif()
endfunction()
if(QUOLBANE_SANITIZE)
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _quolbane_sanitized_module)
endif()
