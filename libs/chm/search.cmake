# The full-text search part of quorlin::chm (included by CMakeLists.txt): the word rule, the
# $FIftiMain writer the compiler uses and the reader the viewer searches with.
add_library(quorlin_chm_search STATIC
    ${CMAKE_CURRENT_LIST_DIR}/src/page_cutter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/search_charset.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/search_word_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/word_encoder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/search_index_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/search_index_reader.cpp)
add_library(quorlin::chm_search ALIAS quorlin_chm_search)
target_include_directories(quorlin_chm_search PUBLIC "${CMAKE_CURRENT_LIST_DIR}/include")
target_link_libraries(quorlin_chm_search PUBLIC quorlin_chm_reader)
# The viewer module is a shared library and searches with it.
set_target_properties(quorlin_chm_search PROPERTIES POSITION_INDEPENDENT_CODE ON)
quorlin_warnings(quorlin_chm_search)
target_link_libraries(quorlin_chm INTERFACE quorlin_chm_search)

quorlin_add_test(NAME search_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/tests/search_test_support.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/search_words_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/search_index_test.cpp
    LIBS quorlin_chm_search quorlin_chm_container quorlin_chm_system)
