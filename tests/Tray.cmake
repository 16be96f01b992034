# The tray object and the service management window (offscreen).
tavrin_add_test(NAME TestMainWindow SOURCES TestMainWindow.cpp LIBS FrameworkGui SQLiteAccess)
add_dependencies(TestMainWindow skins translations)
