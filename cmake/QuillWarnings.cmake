# One place for warnings and Qt hygiene; every target of ours links it.
add_library(quill_warnings INTERFACE)
target_compile_options(quill_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wformat=2 -Wimplicit-fallthrough -Wno-unused-parameter)
if(QUILL_WERROR)
    target_compile_options(quill_warnings INTERFACE -Werror)
endif()
target_compile_definitions(quill_warnings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_USE_QSTRINGBUILDER
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_STRICT_ITERATORS)
