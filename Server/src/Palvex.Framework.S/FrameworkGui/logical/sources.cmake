# Sources of the logical folder (core).

# Port snapshot, port authority and start-up audit, properties files (ports)
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CheckPort.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CheckPort.h
    ${CMAKE_CURRENT_LIST_DIR}/PortMgr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortMgr.h
    ${CMAKE_CURRENT_LIST_DIR}/Properties.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Properties.h
    ${CMAKE_CURRENT_LIST_DIR}/SimpleProperties.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimpleProperties.h
    ${CMAKE_CURRENT_LIST_DIR}/IPortChooser.h
    ${CMAKE_CURRENT_LIST_DIR}/PortApply.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortApply.h
    ${CMAKE_CURRENT_LIST_DIR}/PortTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortTable.h
    ${CMAKE_CURRENT_LIST_DIR}/PortValues.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortValues.h
    ${CMAKE_CURRENT_LIST_DIR}/ProductType.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProductType.h
    ${CMAKE_CURRENT_LIST_DIR}/SmsPlugin.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SmsPlugin.h
)
list(APPEND FRAMEWORKCORE_LIBS Base Boost::thread)

# Identity authentication parameters (core)
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/IdentifyAuth/AuthCfgManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IdentifyAuth/AuthCfgManager.h
)
list(APPEND FRAMEWORKCORE_LIBS Base DatabaseUpdate TinyXML::TinyXML)

# Registry keys (the log-on Run key of auto-launch)
list(APPEND FRAMEWORKCORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RegModify.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegModify.h
)
