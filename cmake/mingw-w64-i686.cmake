# 32-bit Windows, the host's target.
set(TAVRIN_MINGW_TARGET i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
