# vorn_add_test(NAME tst_foo SOURCES a.cpp b.cpp LIBS vorn_store [DBUS])
# One Qt Test executable per CTest entry. Every test runs headless; tests
# marked DBUS expect the session bus that the test script starts.
function(vorn_add_test)
    cmake_parse_arguments(T "DBUS" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    target_compile_definitions(${T_NAME} PRIVATE
        VORN_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        VORN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        VORN_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    vorn_test_environment(${T_NAME} ${T_DBUS})
endfunction()

# vorn_add_script_test(NAME tst_foo SCRIPT foo.sh ARGS ... [DBUS])
# A shell script that drives whole programs, as a user or the manager would.
function(vorn_add_script_test)
    cmake_parse_arguments(T "DBUS" "NAME;SCRIPT" "ARGS" ${ARGN})
    add_test(NAME ${T_NAME} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${T_SCRIPT} ${T_ARGS})
    vorn_test_environment(${T_NAME} ${T_DBUS})
endfunction()

function(vorn_test_environment name dbus)
    # Qt for Windows has no offscreen platform: there the suites draw on the
    # Windows one (under Wine, on a virtual display).
    if(WIN32)
        set(platform windows)
    else()
        set(platform offscreen)
    endif()
    set(env
        "QT_QPA_PLATFORM=${platform}"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
        "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
    if(dbus)
        # All bus tests share the one session bus of the test run and claim
        # the same well-known names, so they must not run at the same time.
        set_tests_properties(${name} PROPERTIES LABELS dbus RESOURCE_LOCK session_bus)
    endif()
endfunction()
