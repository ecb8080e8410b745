# One interface target carries the language level, warnings and Qt safety
# defines; every target of the project links it.
add_library(orvex_common INTERFACE)
target_compile_features(orvex_common INTERFACE cxx_std_20)
target_compile_options(orvex_common INTERFACE
    -Wall -Wextra -pedantic -Wold-style-cast -Wcast-qual -Wcast-align -Wnon-virtual-dtor -Woverloaded-virtual)
# GCC's spelling; clang (the fuzz build) knows the check as shadow-uncaptured-local.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(orvex_common INTERFACE -Wshadow=local)
else()
    target_compile_options(orvex_common INTERFACE -Wshadow-uncaptured-local)
endif()
target_compile_definitions(orvex_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_USE_QSTRINGBUILDER
    QT_STRICT_ITERATORS
    QT_DISABLE_DEPRECATED_UP_TO=0x060400
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_FOREACH)
# Internal checks abort the program, so they are live only where a developer
# runs it (Debug and the sanitizer builds): a station watching real alarms
# must never stop on one, and bad input is handled by messages, never by them.
# (The sanitizer list holds commas, which a generator expression would take
# for argument separators: it is tested here instead.)
if(ORVEX_SANITIZE)
    set(orvex_sanitized 1)
else()
    set(orvex_sanitized 0)
endif()
target_compile_definitions(orvex_common INTERFACE
    $<$<OR:$<CONFIG:Debug>,${orvex_sanitized}>:QT_FORCE_ASSERTS _GLIBCXX_ASSERTIONS>)
if(ORVEX_WERROR)
    target_compile_options(orvex_common INTERFACE -Werror)
endif()
if(ORVEX_SANITIZE)
    # A finding stops the program: a report that scrolls past in a passing
    # test run would go unseen.
    target_compile_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE} -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    target_link_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE} -fno-sanitize-recover=all)
    # clang's check of dynamic types takes Qt's own classes (built by gcc,
    # in shared libraries) for objects of another type: a QFile's
    # errorString() stops the program. GCC's check, which knows them, stays.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_compile_options(orvex_common INTERFACE -fno-sanitize=vptr)
    endif()
endif()
if(ORVEX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ORVEX_FUZZ needs clang (libFuzzer): configure with the fuzz preset")
    endif()
    # Every library is instrumented for the fuzzer's coverage; only the fuzz
    # targets themselves link libFuzzer and its main().
    target_compile_options(orvex_common INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Qt's headers parsed once per library instead of once per file: the test
# command's tree turns it on.
option(ORVEX_PCH "Precompile Qt's headers for each library" OFF)
function(orvex_precompile target)
    if(ORVEX_PCH)
        target_precompile_headers(${target} PRIVATE <QtCore> <QtGui> <QtWidgets>)
    endif()
endfunction()
