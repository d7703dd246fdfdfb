# The decompile dialog.
if(QUORLIN_GUI)
    add_library(quorlin_forms_decompile STATIC
        ${CMAKE_CURRENT_LIST_DIR}/frmdecompile.cpp
        ${CMAKE_CURRENT_LIST_DIR}/frmdecompile.h)
    add_library(quorlin::forms_decompile ALIAS quorlin_forms_decompile)
    target_include_directories(quorlin_forms_decompile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(quorlin_forms_decompile PUBLIC
        quorlin::module1 quorlin::modproject quorlin::platform_qt Qt6::Widgets)
    quorlin_warnings(quorlin_forms_decompile)
    quorlin_qt(quorlin_forms_decompile)
endif()
