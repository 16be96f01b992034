# Shipped skins and translations, built and installed: their content and
# the key check.
tavrin_add_test(NAME TestShippedContent SOURCES TestShippedContent.cpp TestShippedContent.h
    LIBS Qt5::Gui Qt5::Svg NEEDS_STAGE)
add_dependencies(TestShippedContent skins translations TranslationKeyCheck)
target_compile_definitions(TestShippedContent PRIVATE
    LUPDATE_EXECUTABLE="$<TARGET_FILE:Qt5::lupdate>"
    KEYCHECK_EXECUTABLE="$<TARGET_FILE:TranslationKeyCheck>")

# The warning dialog, the service management window and the port settings
# dialog rendered in every skin and language (saved for a look by eye).
tavrin_add_test(NAME TestShippedContentScreens SOURCES TestShippedContentScreens.cpp TestShippedContent.h
    LIBS FrameworkGui Qt5::Widgets)
add_dependencies(TestShippedContentScreens skins translations)
