# The RTP parser, the header copy, the receiver's slots, both G.711 decoders and the jitter
# buffer on arbitrary datagram bytes. The smoke run starts from the committed seeds and writes
# what it finds into its own corpus directory.
add_executable(fuzz_rtp_packet
    ${CMAKE_CURRENT_LIST_DIR}/RtpPacketFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/media/base/RTPPacket.cpp
    ${PROJECT_SOURCE_DIR}/media/rtp/RTPAudioSource.cpp
    ${PROJECT_SOURCE_DIR}/media/rtp/RTPJitterBuffer.cpp
    ${PROJECT_SOURCE_DIR}/media/rtp/RTPAudioStream.cpp
    ${PROJECT_SOURCE_DIR}/media/codec/GenericRTP2PCMDecoder.cpp
    ${PROJECT_SOURCE_DIR}/media/codec/G7112PCMTransformer.cpp
    ${PROJECT_SOURCE_DIR}/media/codec/G711Transformer.cpp
    ${PROJECT_SOURCE_DIR}/media/codec/G711Codec.cpp
    ${PROJECT_SOURCE_DIR}/media/graph/AudioSample.cpp)
target_include_directories(fuzz_rtp_packet PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_rtp_packet PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_options(fuzz_rtp_packet PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_libraries(fuzz_rtp_packet PRIVATE tamsor_rtp tamsor_codec quorvex_platform_core_testing)
set(FUZZ_RTP_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/corpus_rtp_packet)
file(MAKE_DIRECTORY ${FUZZ_RTP_CORPUS})
add_test(NAME fuzz_rtp_packet
    COMMAND fuzz_rtp_packet -runs=20000 -max_len=2048 -timeout=10
            ${FUZZ_RTP_CORPUS} ${CMAKE_CURRENT_LIST_DIR}/rtp_seeds)
set_tests_properties(fuzz_rtp_packet PROPERTIES LABELS fuzz TIMEOUT 300)
