# The program's skin load and the forms built from a fuzzed skin: the login form, the call
# window and its five panels on the fake window system. The libraries the forms are made of are
# instrumented too (coverage for the fuzzer, ASan and UBSan checks); this happens only in the
# fuzz build, where nothing else is built from them. The smoke run starts from the built-in and
# the plum skins, copied at build time into a seed directory, and writes what it finds into its
# own corpus directory. Beside them, the skins made from the built-in skin that once took the
# window away (tests/app-panels/SkinCases.h), each at its bound and past it.
set(FUZZ_FORMS_INSTRUMENT -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
foreach(library quorvex_app_core quorvex_skin quorvex_platform_ui quorvex_platform_res)
    target_compile_options(${library} PRIVATE ${FUZZ_FORMS_INSTRUMENT})
endforeach()

add_executable(fuzz_skin_forms
    ${CMAKE_CURRENT_LIST_DIR}/SkinFormsFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/tests/ui/GtkLeakSuppressions.cpp)
target_include_directories(fuzz_skin_forms PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_skin_forms PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_options(fuzz_skin_forms PRIVATE ${QUORVEX_FUZZ_FLAGS} -rdynamic)
target_link_libraries(fuzz_skin_forms PRIVATE quorvex_app_core quorvex_platform_ui_testing
    quorvex_platform_dialog_testing quorvex_platform_core_testing)

get_property(FUZZ_FORMS_BUILTIN GLOBAL PROPERTY QUORVEX_BUILTIN_ZSK)
get_property(FUZZ_FORMS_PLUM GLOBAL PROPERTY QUORVEX_PLUM_ZSK)
set(FUZZ_FORMS_SEEDS ${CMAKE_CURRENT_BINARY_DIR}/skin_forms_seeds)
add_custom_command(OUTPUT ${FUZZ_FORMS_SEEDS}/builtin.zsk ${FUZZ_FORMS_SEEDS}/plum.zsk
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FUZZ_FORMS_SEEDS}
    COMMAND ${CMAKE_COMMAND} -E copy ${FUZZ_FORMS_BUILTIN} ${FUZZ_FORMS_SEEDS}/builtin.zsk
    COMMAND ${CMAKE_COMMAND} -E copy ${FUZZ_FORMS_PLUM} ${FUZZ_FORMS_SEEDS}/plum.zsk
    DEPENDS ${FUZZ_FORMS_BUILTIN} ${FUZZ_FORMS_PLUM} quorvex_builtin_zsk quorvex_plum_zsk
    VERBATIM)
set(FUZZ_FORMS_CASES)
foreach(name font-1024 font-1025 font-32768 pictures-1024x1500 pictures-4096x4096 misaligned-4
        misaligned-2)
    list(APPEND FUZZ_FORMS_CASES ${FUZZ_FORMS_SEEDS}/${name}.zsk)
endforeach()
# The generator links libraries instrumented for this build.
target_link_options(quorvex_make_skin_cases PRIVATE -fsanitize=address,undefined)
add_custom_command(OUTPUT ${FUZZ_FORMS_CASES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FUZZ_FORMS_SEEDS}
    COMMAND $<TARGET_FILE:quorvex_make_skin_cases> ${FUZZ_FORMS_SEEDS}
    DEPENDS quorvex_make_skin_cases
    VERBATIM)
add_custom_target(quorvex_skin_forms_seeds
    DEPENDS ${FUZZ_FORMS_SEEDS}/builtin.zsk ${FUZZ_FORMS_SEEDS}/plum.zsk ${FUZZ_FORMS_CASES})
add_dependencies(fuzz_skin_forms quorvex_skin_forms_seeds)

set(FUZZ_FORMS_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/corpus_skin_forms)
file(MAKE_DIRECTORY ${FUZZ_FORMS_CORPUS})
add_test(NAME fuzz_skin_forms
    COMMAND fuzz_skin_forms -runs=60 -max_len=4194304 -timeout=60 -rss_limit_mb=4096
            ${FUZZ_FORMS_CORPUS} ${FUZZ_FORMS_SEEDS})
set_tests_properties(fuzz_skin_forms PROPERTIES LABELS fuzz TIMEOUT 600)
