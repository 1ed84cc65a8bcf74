# Sanitizer builds: any report fails the test that caused it.
set(sanitizer_dir ${CMAKE_CURRENT_LIST_DIR}/../tests/sanitizers)
set(LENTAVIO_SANITIZER_ENV
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=86"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "LSAN_OPTIONS=suppressions=${sanitizer_dir}/lsan.supp:print_suppressions=0"
    "TSAN_OPTIONS=ignore_noninstrumented_modules=1:suppressions=${sanitizer_dir}/tsan.supp:exitcode=86:second_deadlock_stack=1")

# The environment every test runs in: offscreen, with its own throw-away
# settings store under the build tree (the user's real store is never
# touched) and with the synthetic camera on the plugin path.
function(lentavio_test_environment name out)
    set(store ${CMAKE_BINARY_DIR}/test-settings/${name})
    set(${out} "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${store};HOME=${store}/home;QT_PLUGIN_PATH=${LENTAVIO_PLUGIN_DIR};QT_LOGGING_RULES=qt.multimedia*=false;${LENTAVIO_SANITIZER_ENV}" PARENT_SCOPE)
endfunction()

# Under an emulator (a cross-built tree's tests run in qemu) programs take 7
# to 16 times as long.
if(CMAKE_CROSSCOMPILING)
    set(LENTAVIO_TIMEOUT_SCALE 10)
else()
    set(LENTAVIO_TIMEOUT_SCALE 1)
endif()

# lentavio_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>])
#
# Builds one QtTest executable and registers it with CTest.
function(lentavio_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
    # Tests that list cameras need the synthetic camera built.
    add_dependencies(${name} lentavio_simcam)
    add_test(NAME ${name} COMMAND ${name})
    lentavio_test_environment(${name} environment)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${LENTAVIO_TIMEOUT_SCALE}")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# lentavio_add_slow_variant(<name> [TIMEOUT <s>] [PARTS <n> FUNCTIONS <f...>])
#
# Registers the test <name> once more as <name>_slow, run with
# LENTAVIO_TEST_TIER=slow and labelled "slow": the full round counts, which
# CI runs and `ctest -LE slow` (the fast tier) leaves out.
# With PARTS, <name>_slow_<k>of<n> for k = 1..n instead, each running only
# FUNCTIONS with LENTAVIO_TEST_PART=k/n, for a test that shares its rounds out
# by part: each part stays far inside QtTest's 300 s per function, and ctest
# can run parts side by side.
function(lentavio_add_slow_variant name)
    cmake_parse_arguments(ARG "" "TIMEOUT;PARTS" "FUNCTIONS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 1800)
    endif()
    if(NOT ARG_PARTS)
        set(ARG_PARTS 1)
    endif()
    foreach(part RANGE 1 ${ARG_PARTS})
        set(entry ${name}_slow)
        set(part_variable "")
        if(ARG_PARTS GREATER 1)
            set(entry ${name}_slow_${part}of${ARG_PARTS})
            set(part_variable ";LENTAVIO_TEST_PART=${part}/${ARG_PARTS}")
        endif()
        add_test(NAME ${entry} COMMAND ${name} ${ARG_FUNCTIONS})
        lentavio_test_environment(${entry} environment)
        set_tests_properties(${entry} PROPERTIES
            ENVIRONMENT "${environment};LENTAVIO_TEST_TIER=slow${part_variable}" LABELS slow TIMEOUT ${ARG_TIMEOUT})
    endforeach()
endfunction()

# lentavio_add_kernel_paths(<name>)
#
# Registers the test <name> once more per narrower vector-kernel path than
# the one the processor would get (<name>_plain, <name>_baseline), forced
# with LENTAVIO_SIMD, so the comparisons run on every path this machine can
# execute.
function(lentavio_add_kernel_paths name)
    math(EXPR timeout "300 * ${LENTAVIO_TIMEOUT_SCALE}")
    foreach(path plain baseline)
        add_test(NAME ${name}_${path} COMMAND ${name})
        lentavio_test_environment(${name}_${path} environment)
        set_tests_properties(${name}_${path} PROPERTIES
            ENVIRONMENT "${environment};LENTAVIO_SIMD=${path}" LABELS kernels TIMEOUT ${timeout})
    endforeach()
endfunction()
