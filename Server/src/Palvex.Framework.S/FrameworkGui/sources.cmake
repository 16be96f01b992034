# Sources of the FrameworkGui folder itself.

# The signal hub, the heartbeat and the single-instance frame (core).
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/NoticeFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NoticeFrame.h
    ${CMAKE_CURRENT_LIST_DIR}/SignalSet.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SignalSet.h
    ${CMAKE_CURRENT_LIST_DIR}/WatchDog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WatchDog.h
)
list(APPEND FRAMEWORKCORE_LIBS Base ZRT WatchDogLib)

# The tray object and the single-instance guard (interface).
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FrameworkMgr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameworkMgr.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication_p.h
)
