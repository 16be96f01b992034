# The port settings dialog and its apply step, run from a copy of the test
# inside a temporary program layout (see TestEditPortDlg.cpp).
tavrin_add_test(NAME TestEditPortDlg SOURCES TestEditPortDlg.cpp LIBS FrameworkGui Qt5::Network)
# A port change on the running host, in-process against the installed folder.
tavrin_add_test(NAME TestPortChangeHost SOURCES TestPortChangeHost.cpp LIBS FrameworkGui Qt5::Network
                NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 180)
