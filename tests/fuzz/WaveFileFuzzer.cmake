# The RIFF reader, the wave-file source and the converter on arbitrary file bytes. The smoke
# run starts from the committed seeds and writes what it finds into its own corpus directory.
add_executable(fuzz_wave_file
    ${CMAKE_CURRENT_LIST_DIR}/WaveFileFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/platform/audio/RiffReader.cpp
    ${PROJECT_SOURCE_DIR}/platform/audio/AudioConverter.cpp
    ${PROJECT_SOURCE_DIR}/media/files/WaveFileSource.cpp
    ${PROJECT_SOURCE_DIR}/media/files/WaveFileSourceListener.cpp)
target_include_directories(fuzz_wave_file PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_wave_file PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_options(fuzz_wave_file PRIVATE ${QUORVEX_FUZZ_FLAGS})
pkg_check_modules(FUZZ_SPEEXDSP REQUIRED IMPORTED_TARGET speexdsp)
target_link_libraries(fuzz_wave_file PRIVATE tamsor_files PkgConfig::FUZZ_SPEEXDSP)
set(FUZZ_WAV_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/corpus_wave_file)
file(MAKE_DIRECTORY ${FUZZ_WAV_CORPUS})
add_test(NAME fuzz_wave_file
    COMMAND fuzz_wave_file -runs=20000 -max_len=8192 -timeout=10
            ${FUZZ_WAV_CORPUS} ${CMAKE_CURRENT_LIST_DIR}/wavefile_seeds)
set_tests_properties(fuzz_wave_file PROPERTIES LABELS fuzz TIMEOUT 300)
