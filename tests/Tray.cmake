# The tray object and the service management window (offscreen), and the
# installed host's icon in a real tray under Xvfb.
tavrin_add_test(NAME TestMainWindow SOURCES TestMainWindow.cpp LIBS FrameworkGui SQLiteAccess)
add_dependencies(TestMainWindow skins translations)
tavrin_add_test(NAME TestTrayHost SOURCES TestTrayHost.cpp LIBS Qt5::Core
                NEEDS_STAGE RESOURCE_LOCK host TIMEOUT 180)
