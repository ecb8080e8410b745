# One interface target carries the language level, warnings and Qt safety
# defines; every target of the project links it.
add_library(orvex_common INTERFACE)
target_compile_features(orvex_common INTERFACE cxx_std_20)
target_compile_options(orvex_common INTERFACE
    -Wall -Wextra -pedantic -Wold-style-cast -Wcast-qual -Wcast-align -Wnon-virtual-dtor -Woverloaded-virtual
    -Wshadow=local)
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
target_compile_definitions(orvex_common INTERFACE
    $<$<OR:$<CONFIG:Debug>,$<BOOL:${ORVEX_SANITIZE}>>:QT_FORCE_ASSERTS _GLIBCXX_ASSERTIONS>)
if(ORVEX_WERROR)
    target_compile_options(orvex_common INTERFACE -Werror)
endif()
if(ORVEX_SANITIZE)
    target_compile_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE})
endif()
