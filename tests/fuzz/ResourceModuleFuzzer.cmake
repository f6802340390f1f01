# The resource reader and the skin loaders on arbitrary module bytes. The smoke run starts from
# the test skins (tests/res) and writes what it finds into its own corpus directory. The path is
# spelled out: tests/res is configured after this directory, so its property is not set yet.
set(FUZZ_RES_SEEDS ${PROJECT_BINARY_DIR}/tests/res/fixtures)
add_executable(fuzz_resource_module
    ResourceModuleFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/platform/res/ResourceModule.cpp
    ${PROJECT_SOURCE_DIR}/skin/SkinResources.cpp
    ${PROJECT_SOURCE_DIR}/skin/zel_Bitmap.cpp)
target_include_directories(fuzz_resource_module PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_resource_module PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_options(fuzz_resource_module PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_libraries(fuzz_resource_module PRIVATE quorvex_platform_ui quorvex_platform_core)
add_dependencies(fuzz_resource_module quorvex_res_fixtures)
set(FUZZ_RES_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/corpus_resource_module)
file(MAKE_DIRECTORY ${FUZZ_RES_CORPUS})
add_test(NAME fuzz_resource_module
    COMMAND fuzz_resource_module -runs=20000 -max_len=16384 -timeout=10
            ${FUZZ_RES_CORPUS} ${FUZZ_RES_SEEDS})
set_tests_properties(fuzz_resource_module PROPERTIES LABELS fuzz TIMEOUT 300)
