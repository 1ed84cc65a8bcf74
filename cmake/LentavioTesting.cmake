# Sanitizer builds: any report fails the test that caused it.
set(sanitizer_dir ${CMAKE_CURRENT_LIST_DIR}/../tests/sanitizers)
set(LENTAVIO_SANITIZER_ENV
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=86"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "LSAN_OPTIONS=suppressions=${sanitizer_dir}/lsan.supp:print_suppressions=0"
    "TSAN_OPTIONS=ignore_noninstrumented_modules=1:suppressions=${sanitizer_dir}/tsan.supp:exitcode=86:second_deadlock_stack=1")

# lentavio_add_test(<name> SOURCES <files...> LIBS <targets...>)
#
# Builds one QtTest executable and registers it with CTest. Every test runs
# offscreen, with its own throw-away settings store under the build tree (the
# user's real store is never touched) and with the synthetic camera on the
# plugin path.
function(lentavio_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
    # Tests that list cameras need the synthetic camera built.
    add_dependencies(${name} lentavio_simcam)
    add_test(NAME ${name} COMMAND ${name})
    set(store ${CMAKE_BINARY_DIR}/test-settings/${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${store};HOME=${store}/home;QT_PLUGIN_PATH=${LENTAVIO_PLUGIN_DIR};QT_LOGGING_RULES=qt.multimedia*=false;${LENTAVIO_SANITIZER_ENV}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    else()
        set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    endif()
endfunction()
