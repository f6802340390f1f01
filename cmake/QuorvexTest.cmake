# quorvex_add_test(<name> LABELS <label>... SOURCES <file>... LIBS <lib>...)
# Builds one GoogleTest executable and registers its cases with ctest under the labels.
include(GoogleTest)
function(quorvex_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} quorvex_platform_core_testing GTest::gtest
        GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    gtest_discover_tests(${name}
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
        DISCOVERY_TIMEOUT 60)
endfunction()
