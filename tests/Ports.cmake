# Port snapshot, port-owner and SMS restart scripts, start-up audit.
tavrin_add_test(NAME TestPortAudit SOURCES TestPortAudit.cpp LIBS FrameworkGui TIMEOUT 300)
