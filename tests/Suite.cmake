# The suite's libraries of this platform and the installation data they use.
tavrin_add_test(NAME TestFramework
    SOURCES TestFramework.cpp
    LIBS Framework CommonMethod CommonMethodLib Base Qt5::Network Qt5::WebSockets)
target_include_directories(TestFramework PRIVATE ${PROJECT_SOURCE_DIR}/Suite)
