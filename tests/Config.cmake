# Configuration and user data: folders, XML documents, the port
# configuration, the common configuration, DESetup and version ordering.
tavrin_add_test(NAME TestXmlProto SOURCES TestXmlProto.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestXmlProtoFiles SOURCES TestXmlProtoFiles.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestDataEncryption SOURCES TestDataEncryption.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestDBVersion SOURCES TestDBVersion.cpp LIBS DatabaseUpdate)
tavrin_add_test(NAME TestCommonConfig SOURCES TestCommonConfig.cpp LIBS CommonMethodLib)
tavrin_add_test(NAME TestUserDataPath SOURCES TestUserDataPath.cpp TestScratch.h LIBS CommonMethod ZRT)
# log4cxx's own rolling appender frees its private data with a mismatched
# size at exit (inside the system library); not a fault of this code.
set_property(TEST TestUserDataPath APPEND PROPERTY ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:new_delete_type_mismatch=0")

# The port configuration, compiled in directly so these tests do not wait for
# the rest of the host.
set(CONFIG_MANAGER_SOURCES
    ${PROJECT_SOURCE_DIR}/Server/src/Palvex.Framework.S/FrameworkGui/controller/XMLConfigManager.cpp)
set(CONFIG_MANAGER_LIBS CommonMethod CommonMethodLib DatabaseUpdate ZRT TavrinPlatform Qt5::Core)
tavrin_add_test(NAME TestXMLConfigManager
    SOURCES TestXMLConfigManager.cpp ${CONFIG_MANAGER_SOURCES}
    LIBS ${CONFIG_MANAGER_LIBS} TIMEOUT 180)
target_include_directories(TestXMLConfigManager PRIVATE
    ${PROJECT_SOURCE_DIR}/Server/src/Palvex.Framework.S/FrameworkGui/controller)
add_executable(TestXMLConfigManagerChild TestXMLConfigManagerChild.cpp ${CONFIG_MANAGER_SOURCES})
set_target_properties(TestXMLConfigManagerChild PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(TestXMLConfigManagerChild PRIVATE
    ${PROJECT_SOURCE_DIR}/Server/src/Palvex.Framework.S/FrameworkGui/controller)
target_link_libraries(TestXMLConfigManagerChild PRIVATE ${CONFIG_MANAGER_LIBS})
add_dependencies(TestXMLConfigManager TestXMLConfigManagerChild)
