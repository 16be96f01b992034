# Configuration and user data: XML documents and files, properties files, the
# user-data folders, the port configuration, the common configuration, DESetup
# and version ordering, over the host's core alone (no widgets).
tavrin_add_test(NAME TestConfigFiles SOURCES TestConfigFiles.cpp LIBS FrameworkCore)
