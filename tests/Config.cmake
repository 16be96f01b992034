# Configuration and user data: folders, XML documents, the port
# configuration, the common configuration, DESetup and version ordering.
tavrin_add_test(NAME TestXmlProto SOURCES TestXmlProto.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestXmlProtoFiles SOURCES TestXmlProtoFiles.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestUserDataPath SOURCES TestUserDataPath.cpp TestUserDataPathEnv.h LIBS CommonMethod)
# log4cxx's own rolling appender frees its private data with a mismatched
# size at exit (inside the system library); not a fault of this code.
set_property(TEST TestUserDataPath APPEND PROPERTY ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:new_delete_type_mismatch=0")
