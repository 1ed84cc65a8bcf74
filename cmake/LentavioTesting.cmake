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
    add_test(NAME ${name} COMMAND ${name})
    set(store ${CMAKE_BINARY_DIR}/test-settings/${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${store};HOME=${store}/home;QT_PLUGIN_PATH=${LENTAVIO_PLUGIN_DIR};QT_LOGGING_RULES=qt.multimedia*=false")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    else()
        set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    endif()
endfunction()
