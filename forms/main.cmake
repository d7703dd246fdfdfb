# The main window, its About box and the folder list they use.
if(QUORLIN_GUI)
    add_library(quorlin_forms_main STATIC
        ${CMAKE_CURRENT_LIST_DIR}/frmMain.cpp
        ${CMAKE_CURRENT_LIST_DIR}/frmMain.h
        ${CMAKE_CURRENT_LIST_DIR}/frmAbout.cpp
        ${CMAKE_CURRENT_LIST_DIR}/frmAbout.h
        ${CMAKE_CURRENT_LIST_DIR}/folder_list.cpp
        ${CMAKE_CURRENT_LIST_DIR}/folder_list.h
        ${CMAKE_CURRENT_LIST_DIR}/twips.h)
    add_library(quorlin::forms_main ALIAS quorlin_forms_main)
    target_include_directories(quorlin_forms_main PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(quorlin_forms_main PUBLIC
        quorlin::modproject quorlin::platform_qt Qt6::Widgets)
    quorlin_warnings(quorlin_forms_main)
    quorlin_qt(quorlin_forms_main)
    # The menu opens the decompile dialog.
    target_link_libraries(quorlin_forms_main PUBLIC quorlin::forms_decompile)

    # The toolbar images, the window icon and the About box picture.
    set(images_dir "${CMAKE_SOURCE_DIR}/resources")
    qt_add_resources(quorlin_forms_main quorlin_images
        PREFIX "/images"
        BASE "${images_dir}"
        FILES "${images_dir}/quorlin.png" "${images_dir}/open.png" "${images_dir}/save.png"
              "${images_dir}/help.png" "${images_dir}/compile.png")
endif()
