# The application object, its start-up sequence and the entry's helpers
# (interface).
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/KestApplication.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KestApplication.h
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
    ${CMAKE_CURRENT_LIST_DIR}/DllDirectoryGuard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DllDirectoryGuard.h
    ${CMAKE_CURRENT_LIST_DIR}/DpiPolicy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DpiPolicy.h
)
