# Sources of the controller folder. Shared: each area adds only its own lines.

# Server settings (ui)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerConfigManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerConfigManager.h
)
list(APPEND FRAMEWORKGUI_LIBS Base CommonMethod)

# Port configuration (config)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/XMLConfigManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XMLConfigManager.h
    ${CMAKE_CURRENT_LIST_DIR}/FileSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileSnapshot.h
)
list(APPEND FRAMEWORKGUI_LIBS CommonMethod CommonMethodLib DatabaseUpdate ZRT TavrinPlatform)
