# Shipped skins and translations: their content, the key check and the
# warning dialog rendered in every skin.
tavrin_add_test(NAME TestShippedContent SOURCES TestShippedContent.cpp TestShippedContent.h
    LIBS Qt5::Gui Qt5::Svg)
add_dependencies(TestShippedContent skins translations)

tavrin_add_test(NAME TestShippedContentKeys SOURCES TestShippedContentKeys.cpp TestShippedContent.h
    LIBS Qt5::Core)
add_dependencies(TestShippedContentKeys TranslationKeyCheck)
target_compile_definitions(TestShippedContentKeys PRIVATE
    LUPDATE_EXECUTABLE="$<TARGET_FILE:Qt5::lupdate>"
    KEYCHECK_EXECUTABLE="$<TARGET_FILE:TranslationKeyCheck>")

tavrin_add_test(NAME TestShippedContentScreens SOURCES TestShippedContentScreens.cpp TestShippedContent.h
    LIBS FrameworkGui Qt5::Widgets)
add_dependencies(TestShippedContentScreens skins translations)

tavrin_add_test(NAME TestShippedContentInstall SOURCES TestShippedContentInstall.cpp TestShippedContent.h
    LIBS Qt5::Core NEEDS_STAGE)
