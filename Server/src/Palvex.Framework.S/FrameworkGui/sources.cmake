# Sources of the FrameworkGui folder itself (tray object, single-instance
# guard, watchdog, signal hub). Append FRAMEWORKGUI_LIBS for libraries used.
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FrameworkMgr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameworkMgr.h
    ${CMAKE_CURRENT_LIST_DIR}/NoticeFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NoticeFrame.h
    ${CMAKE_CURRENT_LIST_DIR}/SignalSet.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SignalSet.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleApplication_p.h
    ${CMAKE_CURRENT_LIST_DIR}/WatchDog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WatchDog.h
)
