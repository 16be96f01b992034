# Shared build helpers.

# A library of the suite: shared, installed into the program folder. Its
# declarations are in the include/ folder beside its own, named by library
# ("Base/Log.h", "Framework/Framework.h").
function(tavrin_suite_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    get_filename_component(declarations ${CMAKE_CURRENT_SOURCE_DIR}/../include ABSOLUTE)
    target_include_directories(${name} PUBLIC ${declarations})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    install(TARGETS ${name} LIBRARY DESTINATION Server RUNTIME DESTINATION Server)
endfunction()

# One QtTest executable registered with CTest.
#   tavrin_add_test(NAME <name> SOURCES <files> LIBS <targets>
#                   [LABELS <labels>] [RESOURCE_LOCK <lock>] [NEEDS_STAGE] [TIMEOUT <s>])
# NEEDS_STAGE: the test uses the installed program folder under
# ${TAVRIN_STAGE_DIR}, laid out by the stage fixture before it runs.
function(tavrin_add_test)
    cmake_parse_arguments(ARG "NEEDS_STAGE" "NAME;TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${ARG_NAME} PRIVATE Qt5::Test ${ARG_LIBS})
    target_compile_definitions(${ARG_NAME} PRIVATE
        TAVRIN_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        TAVRIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        TAVRIN_BUILD_DIR="${CMAKE_BINARY_DIR}"
        TAVRIN_STAGE_DIR="${TAVRIN_STAGE_DIR}")
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set(timeout 120)
    if(ARG_TIMEOUT)
        set(timeout ${ARG_TIMEOUT})
    endif()
    # Debian's log4cxx deletes its rolling appenders through a mismatched
    # type at exit; that one check is off so the sanitizers see our faults.
    set_tests_properties(${ARG_NAME} PROPERTIES
        TIMEOUT ${timeout}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:new_delete_type_mismatch=0;UBSAN_OPTIONS=print_stacktrace=1")
    if(ARG_LABELS)
        set_tests_properties(${ARG_NAME} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    if(ARG_RESOURCE_LOCK)
        set_tests_properties(${ARG_NAME} PROPERTIES RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
    if(ARG_NEEDS_STAGE)
        set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED stage)
    endif()
endfunction()
