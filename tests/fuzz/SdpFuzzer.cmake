# A peer's session description through the parser, what the call logic reads of it (codec,
# media target, whether an offer is usable) and the writer. The smoke run starts from the
# committed seeds (offers and answers of real peers among them).
add_executable(fuzz_peer_sdp
    ${CMAKE_CURRENT_LIST_DIR}/SdpFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/sip/SdpContents.cpp
    ${PROJECT_SOURCE_DIR}/app/call/PeerSdp.cpp)
target_include_directories(fuzz_peer_sdp PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_peer_sdp PRIVATE ${QUORVEX_FUZZ_FLAGS})
target_link_options(fuzz_peer_sdp PRIVATE ${QUORVEX_FUZZ_FLAGS})
set(FUZZ_SDP_CORPUS ${CMAKE_CURRENT_BINARY_DIR}/corpus_peer_sdp)
file(MAKE_DIRECTORY ${FUZZ_SDP_CORPUS})
add_test(NAME fuzz_peer_sdp
    COMMAND fuzz_peer_sdp -runs=50000 -max_len=4096 -timeout=10
            ${FUZZ_SDP_CORPUS} ${CMAKE_CURRENT_LIST_DIR}/sdp_seeds)
set_tests_properties(fuzz_peer_sdp PROPERTIES LABELS fuzz TIMEOUT 300)
