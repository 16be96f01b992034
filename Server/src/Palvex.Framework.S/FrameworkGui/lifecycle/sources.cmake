# The hosted services from start to end (core).
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServiceLifecycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceLifecycle.h
    ${CMAKE_CURRENT_LIST_DIR}/HostServices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostServices.h
)
list(APPEND FRAMEWORKCORE_LIBS Framework DeviceManager VideoServer)
