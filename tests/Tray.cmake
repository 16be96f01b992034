# The tray object and the service management window (offscreen).
tavrin_add_test(NAME TestMainWindow SOURCES TestMainWindow.cpp LIBS FrameworkGui SQLiteAccess)
add_dependencies(TestMainWindow skins translations)
# The images again on a screen scaled by 1.5.
add_test(NAME TestMainWindowScaled COMMAND TestMainWindow imagesForTheScreenScale)
set_tests_properties(TestMainWindowScaled PROPERTIES TIMEOUT 120 ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=1.5;ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:new_delete_type_mismatch=0")
