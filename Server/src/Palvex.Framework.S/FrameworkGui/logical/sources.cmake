# Sources of the logical folder. Shared: each area adds only its own lines.

# Port snapshot, port authority and start-up audit, properties files (ports)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CheckPort.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CheckPort.h
    ${CMAKE_CURRENT_LIST_DIR}/PortMgr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortMgr.h
    ${CMAKE_CURRENT_LIST_DIR}/Properties.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Properties.h
    ${CMAKE_CURRENT_LIST_DIR}/SimpleProperties.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimpleProperties.h
)
list(APPEND FRAMEWORKGUI_LIBS Base Boost::thread)

# Identity authentication parameters (core)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/IdentifyAuth/AuthCfgManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IdentifyAuth/AuthCfgManager.h
)
list(APPEND FRAMEWORKGUI_LIBS Base DatabaseUpdate TinyXML::TinyXML)

# Registry keys (the log-on Run key of auto-launch)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RegModify.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegModify.h
)
