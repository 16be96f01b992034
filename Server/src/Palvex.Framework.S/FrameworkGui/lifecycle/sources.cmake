# The hosted services from start to end (core).
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServiceLifecycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceLifecycle.h
)
list(APPEND FRAMEWORKCORE_LIBS Framework DeviceManager VideoServer)
