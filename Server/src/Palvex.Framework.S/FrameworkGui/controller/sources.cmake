# Sources of the controller folder (core).

# Server settings, languages
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerConfigManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerConfigManager.h
    ${CMAKE_CURRENT_LIST_DIR}/Languages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Languages.h
    ${CMAKE_CURRENT_LIST_DIR}/FolderFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FolderFiles.h
)

# Port configuration
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/XMLConfigManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XMLConfigManager.h
    ${CMAKE_CURRENT_LIST_DIR}/FileSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileSnapshot.h
)
list(APPEND FRAMEWORKCORE_LIBS Base CommonMethod CommonMethodLib DatabaseUpdate ZRT TavrinPlatform)
