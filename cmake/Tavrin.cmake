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
    install(TARGETS ${name} LIBRARY DESTINATION Server RUNTIME DESTINATION Server
            ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
endfunction()

# Tests that start the host run in a process-id namespace of their own where
# the user may make one: a host the developer runs would refuse theirs.
# Root needs no user namespace for it (and keeps the right to act as other
# users, which one test needs).
execute_process(COMMAND id -u OUTPUT_VARIABLE TAVRIN_UID OUTPUT_STRIP_TRAILING_WHITESPACE)
if(TAVRIN_UID STREQUAL "0")
    set(TAVRIN_PRIVATE_PIDS unshare --pid --fork --mount --mount-proc)
else()
    set(TAVRIN_PRIVATE_PIDS unshare --user --map-current-user --pid --fork --mount --mount-proc)
endif()
execute_process(COMMAND ${TAVRIN_PRIVATE_PIDS} true RESULT_VARIABLE TAVRIN_UNSHARE_RESULT OUTPUT_QUIET ERROR_QUIET)
if(NOT TAVRIN_UNSHARE_RESULT EQUAL 0)
    set(TAVRIN_PRIVATE_PIDS)
    message(STATUS "No private process-id namespace: the host tests stop when another host of this user runs")
endif()

# One QtTest executable registered with CTest.
#   tavrin_add_test(NAME <name> SOURCES <files> LIBS <targets>
#                   [LABELS <labels>] [RESOURCE_LOCK <lock>] [NEEDS_STAGE] [TIMEOUT <s>])
# RESOURCE_LOCK host: the test starts the host (see TAVRIN_PRIVATE_PIDS).
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
    if(ARG_RESOURCE_LOCK STREQUAL "host")
        add_test(NAME ${ARG_NAME} COMMAND ${TAVRIN_PRIVATE_PIDS} $<TARGET_FILE:${ARG_NAME}>)
    else()
        add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    endif()
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

# Fails the configuration when the target would link one of the forbidden
# targets, directly or through what its libraries pass on (static libraries
# pass on everything they link).
function(tavrin_forbid_links target)
    set(queue ${target})
    set(seen)
    while(queue)
        list(POP_FRONT queue current)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" current "${current}")
        if(current IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${current})
        if(current IN_LIST ARGN)
            message(FATAL_ERROR "${target} must not link ${current}")
        endif()
        if(NOT TARGET ${current})
            continue()
        endif()
        get_target_property(type ${current} TYPE)
        if(current STREQUAL target OR type STREQUAL "STATIC_LIBRARY")
            get_target_property(libs ${current} LINK_LIBRARIES)
        else()
            get_target_property(libs ${current} INTERFACE_LINK_LIBRARIES)
        endif()
        foreach(lib IN LISTS libs)
            if(lib)
                list(APPEND queue ${lib})
            endif()
        endforeach()
    endwhile()
endfunction()

# Fails the configuration when a source of the list includes a header from
# one of the forbidden folders ("ui/").
function(tavrin_forbid_includes sources)
    foreach(source IN LISTS sources)
        file(STRINGS ${source} includes REGEX "^#include")
        foreach(folder IN LISTS ARGN)
            foreach(line IN LISTS includes)
                if(line MATCHES "[\"<]${folder}")
                    message(FATAL_ERROR "${source} includes ${line}: a file of this layer uses no ${folder} header")
                endif()
            endforeach()
        endforeach()
    endforeach()
endfunction()
