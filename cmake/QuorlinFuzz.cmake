# Fuzz targets. Each builds as an ordinary program that replays its corpus once, registered as
# a test; with QUORLIN_LIBFUZZER (clang only) it is a libFuzzer target instead, and the test
# runs the corpus through libFuzzer without fuzzing (QUORLIN_LIBFUZZER is declared with the
# other build options in QuorlinHelpers.cmake).

# quorlin_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS folder...)
# Makes the program name_fuzz and the test name_fuzz_replay over the corpus folders.
function(quorlin_add_fuzzer)
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS;CORPUS" ${ARGN})
    set(target ${F_NAME}_fuzz)
    add_executable(${target} ${F_SOURCES})
    target_link_libraries(${target} PRIVATE ${F_LIBS})
    quorlin_warnings(${target})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    if(QUORLIN_LIBFUZZER)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
        target_link_options(${target} PRIVATE -fsanitize=fuzzer)
        set(replay_args -runs=0)
    else()
        target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp")
        set(replay_args "")
    endif()
    add_test(NAME ${target}_replay COMMAND ${target} ${replay_args} ${F_CORPUS})
    set_tests_properties(${target}_replay PROPERTIES TIMEOUT 120)
endfunction()
