# Shared settings for every target of the project.

if(QUORLIN_SANITIZE AND NOT QUORLIN_SANITIZE MATCHES "^(address,undefined|undefined,address|address|undefined|thread)$")
    message(FATAL_ERROR "QUORLIN_SANITIZE is \"${QUORLIN_SANITIZE}\": say address,undefined or thread")
endif()

# Fuzz targets for libFuzzer (see QuorlinFuzz.cmake). The code they reach must report its
# coverage to libFuzzer too, so every target of ours is built for it.
option(QUORLIN_LIBFUZZER "Build the fuzz targets for libFuzzer (clang only)" OFF)
if(QUORLIN_LIBFUZZER AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUORLIN_LIBFUZZER needs clang, not ${CMAKE_CXX_COMPILER_ID}")
endif()

function(quorlin_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8)
        if(QUORLIN_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast)
        if(QUORLIN_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
    if(QUORLIN_SANITIZE AND NOT MSVC)
        # Every finding ends the program with an error, so a test that meets one fails.
        target_compile_options(${target} PRIVATE
            -fsanitize=${QUORLIN_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE
            -fsanitize=${QUORLIN_SANITIZE} -fno-sanitize-recover=all)
    endif()
    if(QUORLIN_LIBFUZZER)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()

# A target that declares Qt classes of its own (Q_OBJECT): moc runs on its sources. Only such
# targets get it, so moc does not scan the rest of the tree.
function(quorlin_qt target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
endfunction()

# An executable that belongs in the program folder, under the exact file name given
# (the tools keep their ".exe" ending on every platform).
function(quorlin_app_executable target file_name)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME "${file_name}"
        SUFFIX ""
        RUNTIME_OUTPUT_DIRECTORY "${QUORLIN_APP_DIR}")
endfunction()

# quorlin_add_test(NAME name SOURCES ... LIBS ... [QT])
# One test executable per unit, registered with CTest. QT tests run on the offscreen platform.
function(quorlin_add_test)
    cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    quorlin_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
    if(T_QT)
        quorlin_qt(${T_NAME})
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
    endif()
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORLIN_APP_DIR=${QUORLIN_APP_DIR};QUORLIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
