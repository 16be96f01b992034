# Sources of the FrameworkGui folder itself (tray object, single-instance
# guard, watchdog, signal hub). Append FRAMEWORKGUI_LIBS for libraries used.
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Placeholder.cpp
)
