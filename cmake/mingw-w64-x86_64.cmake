# 64-bit Windows: the build whose tests run under wine64.
set(TAVRIN_MINGW_TARGET x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
