# Configuration and user data: XML documents and files, properties files, the
# user-data folders, the port configuration, the common configuration, DESetup
# and version ordering; the host's sources for them are compiled in directly so
# this test does not wait for the rest of the host.
set(CONFIG_HOST_DIR ${PROJECT_SOURCE_DIR}/Server/src/Palvex.Framework.S/FrameworkGui)
tavrin_add_test(NAME TestConfigFiles
    SOURCES TestConfigFiles.cpp TestScratch.h ${CONFIG_HOST_DIR}/controller/XMLConfigManager.cpp
            ${CONFIG_HOST_DIR}/logical/SimpleProperties.cpp ${CONFIG_HOST_DIR}/logical/Properties.cpp
    LIBS CommonMethod CommonMethodLib DatabaseUpdate ZRT TavrinPlatform Qt5::Core)
target_include_directories(TestConfigFiles PRIVATE ${CONFIG_HOST_DIR})
