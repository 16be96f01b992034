# The base library and the portable runtime.
# With the log4cplus side of the logger's configuration, built into the base
# library on Windows only.
tavrin_add_test(NAME TestBase SOURCES TestBase.cpp ${PROJECT_SOURCE_DIR}/Foundation/Base/Log4cplusProperties.cpp
                LIBS Base ZRT)
target_include_directories(TestBase PRIVATE ${PROJECT_SOURCE_DIR}/Foundation/Base)
