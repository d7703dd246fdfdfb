# The internal system files part of quorlin::chm (included by CMakeLists.txt).
add_library(quorlin_chm_system STATIC
    ${CMAKE_CURRENT_LIST_DIR}/src/system_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/system_keyword_index.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/system_tables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/system_object_instance.cpp)
target_include_directories(quorlin_chm_system PUBLIC "${CMAKE_CURRENT_LIST_DIR}/include")
quorlin_warnings(quorlin_chm_system)
target_link_libraries(quorlin_chm INTERFACE quorlin_chm_system)

quorlin_add_test(NAME system_tables_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/system_tables_test.cpp
    LIBS quorlin_chm_system)
quorlin_add_test(NAME system_keyword_index_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/system_keyword_index_test.cpp
    LIBS quorlin_chm_system)
quorlin_add_test(NAME system_files_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/system_files_test.cpp
    LIBS quorlin_chm_system)
quorlin_add_test(NAME system_object_instance_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/system_object_instance_test.cpp
    LIBS quorlin_chm_system quorlin_chm_reader)
