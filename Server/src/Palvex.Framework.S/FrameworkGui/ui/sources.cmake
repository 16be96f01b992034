# Sources of the ui folder (interface).

# Input widgets, notices, style sheets, languages, skins (ui)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CheckCorretLineEdit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CheckCorretLineEdit.h
    ${CMAKE_CURRENT_LIST_DIR}/CheckCorretLineEdit.ui
    ${CMAKE_CURRENT_LIST_DIR}/ClosePushBtn.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClosePushBtn.h
    ${CMAKE_CURRENT_LIST_DIR}/DialogPlacement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DialogPlacement.h
    ${CMAKE_CURRENT_LIST_DIR}/FramelessDrag.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FramelessDrag.h
    ${CMAKE_CURRENT_LIST_DIR}/IntValidator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IntValidator.h
    ${CMAKE_CURRENT_LIST_DIR}/BaseObserver.h
    ${CMAKE_CURRENT_LIST_DIR}/QssReloadNotifyMgr.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QssReloadNotifyMgr.h
    ${CMAKE_CURRENT_LIST_DIR}/QssReloadNotifyMgrObserver.h
    ${CMAKE_CURRENT_LIST_DIR}/RCCLoadManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RCCLoadManager.h
    ${CMAKE_CURRENT_LIST_DIR}/RightTipButton.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RightTipButton.h
    ${CMAKE_CURRENT_LIST_DIR}/SkinLoader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SkinLoader.h
    ${CMAKE_CURRENT_LIST_DIR}/StyleSheet.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StyleSheet.h
    ${CMAKE_CURRENT_LIST_DIR}/TipWidget.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TipWidget.h
    ${CMAKE_CURRENT_LIST_DIR}/TipWidget.ui
    ${CMAKE_CURRENT_LIST_DIR}/WaringDlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WaringDlg.h
    ${CMAKE_CURRENT_LIST_DIR}/WaringDlg.ui
)
list(APPEND FRAMEWORKGUI_LIBS Base)

# Port settings dialog (portdialog)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/EditPortDlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EditPortDlg.h
    ${CMAKE_CURRENT_LIST_DIR}/EditPortDlg.ui
    ${CMAKE_CURRENT_LIST_DIR}/StartupPortChooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupPortChooser.h
)

# Two-port dialog (tray)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/EditPort.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EditPort.h
    ${CMAKE_CURRENT_LIST_DIR}/EditPort.ui
)

# Service management window (tray)
list(APPEND FRAMEWORKGUI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.ui
)
list(APPEND FRAMEWORKGUI_LIBS SQLiteAccess)
