# The reading side of the container: opening a help file through libmspack, the settings
# files, safe extraction into a folder and the project file rebuilt from what was found.
add_library(quorlin_chm_reader STATIC
    ${CMAKE_CURRENT_LIST_DIR}/src/reader_archive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/reader_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/reader_paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/reader_decompile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/reader_sitemap.cpp)
add_library(quorlin::chm_reader ALIAS quorlin_chm_reader)
target_include_directories(quorlin_chm_reader PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(quorlin_chm_reader PUBLIC PkgConfig::MSPACK quorlin::text)
quorlin_warnings(quorlin_chm_reader)
target_link_libraries(quorlin_chm INTERFACE quorlin_chm_reader)

quorlin_add_test(NAME reader_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/tests/reader_fixture.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/byte_cursor_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/reader_archive_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/reader_settings_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/reader_decompile_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/reader_sitemap_test.cpp
    LIBS quorlin_chm_reader)
target_compile_definitions(reader_tests PRIVATE
    QUORLIN_READER_FIXTURES="${CMAKE_CURRENT_LIST_DIR}/tests/fixtures")
