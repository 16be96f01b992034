# The base library and the portable runtime.
tavrin_add_test(NAME TestBaseEncrypt SOURCES TestBaseEncrypt.cpp LIBS Base)
tavrin_add_test(NAME TestBaseUtil SOURCES TestBaseUtil.cpp LIBS Base)
tavrin_add_test(NAME TestBaseIdentify SOURCES TestBaseIdentify.cpp LIBS Base)
tavrin_add_test(NAME TestRuntime SOURCES TestRuntime.cpp LIBS Base ZRT)
