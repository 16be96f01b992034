# Configuration and user data: folders, XML documents, the port
# configuration, the common configuration, DESetup and version ordering.
tavrin_add_test(NAME TestXmlProto SOURCES TestXmlProto.cpp LIBS CommonMethod)
tavrin_add_test(NAME TestXmlProtoFiles SOURCES TestXmlProtoFiles.cpp LIBS CommonMethod)
