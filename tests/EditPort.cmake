# The port settings dialog and its apply step. Both run from a copy of
# themselves inside a temporary program layout (see TestEditPortDlgLayout.h).
tavrin_add_test(NAME TestEditPortDlg
    SOURCES TestEditPortDlg.cpp TestEditPortDlgLayout.h
    LIBS FrameworkGui Qt5::Network)
tavrin_add_test(NAME TestPortApply
    SOURCES TestPortApply.cpp TestEditPortDlgLayout.h
    LIBS FrameworkGui Qt5::Network)
