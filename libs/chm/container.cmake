# The container writer part of quorlin::chm (included by CMakeLists.txt): ITSF/ITSP, PMGL/PMGI,
# section 0 with the ::DataSpace storage, section 1 through quorlin::lzx.
add_library(quorlin_chm_container STATIC
    ${CMAKE_CURRENT_LIST_DIR}/src/container_directory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/container_directory.h
    ${CMAKE_CURRENT_LIST_DIR}/src/container_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/include/chm/container_writer.h)
target_include_directories(quorlin_chm_container PUBLIC "${CMAKE_CURRENT_LIST_DIR}/include")
target_link_libraries(quorlin_chm_container PUBLIC quorlin::lzx)
quorlin_warnings(quorlin_chm_container)
target_link_libraries(quorlin_chm INTERFACE quorlin_chm_container)

add_library(quorlin_chm_container_test_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/tests/container_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/container_test_support.h)
target_link_libraries(quorlin_chm_container_test_support
    PUBLIC quorlin_chm_container GTest::gtest PkgConfig::MSPACK)
quorlin_warnings(quorlin_chm_container_test_support)

quorlin_add_test(NAME container_writer_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/container_writer_test.cpp
    LIBS quorlin_chm_container_test_support)
quorlin_add_test(NAME container_lzx_roundtrip_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/container_lzx_roundtrip_test.cpp
    LIBS quorlin_chm_container_test_support quorlin_chm_reader
    TIMEOUT 900)
quorlin_add_test(NAME container_oracle_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/container_oracle_test.cpp
    LIBS quorlin_chm_container_test_support)
