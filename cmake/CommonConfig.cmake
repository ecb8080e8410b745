# One interface target carries the language level, warnings and Qt safety
# defines; every target of the project links it.
add_library(orvex_common INTERFACE)
target_compile_features(orvex_common INTERFACE cxx_std_20)
target_compile_options(orvex_common INTERFACE
    -Wall -Wextra -Wold-style-cast -Wcast-qual -Wnon-virtual-dtor -Wshadow=local)
target_compile_definitions(orvex_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_FOREACH
    _GLIBCXX_ASSERTIONS
    QT_FORCE_ASSERTS)
if(ORVEX_WERROR)
    target_compile_options(orvex_common INTERFACE -Werror)
endif()
if(ORVEX_SANITIZE)
    target_compile_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(orvex_common INTERFACE -fsanitize=${ORVEX_SANITIZE})
endif()
