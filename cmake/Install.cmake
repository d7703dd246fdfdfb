# Installation and the Debian package. Included at the end of the top-level CMakeLists.txt,
# once every part has defined its targets.
#
# The installed program folder is a copy of the build's app/ folder: the program finds its
# tools, templates and help file beside its own executable, so they must stay together. It
# goes to lib/chmquorlin (not the multiarch library folder: it is one program's private
# folder), with a launcher in bin/ and, on Linux, the desktop entries and icons in share/.

set(QUORLIN_APP_SUBDIR "lib/chmquorlin")

foreach(program chmquorlin hhc hh)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION "${QUORLIN_APP_SUBDIR}")
    endif()
endforeach()
# The viewer window of hh.exe and the browser engine behind it are modules that hh.exe loads
# from its own folder.
foreach(module quorlin_hh_viewer quorlin_hh_engine)
    if(TARGET ${module})
        get_target_property(_quorlin_module_type ${module} TYPE)
        if(_quorlin_module_type STREQUAL "SHARED_LIBRARY" OR _quorlin_module_type STREQUAL "MODULE_LIBRARY")
            install(TARGETS ${module} LIBRARY DESTINATION "${QUORLIN_APP_SUBDIR}")
        endif()
    endif()
endforeach()
install(FILES "${CMAKE_SOURCE_DIR}/data/chm_dll0.dll" "${CMAKE_SOURCE_DIR}/data/chm_dll1.dll"
        DESTINATION "${QUORLIN_APP_SUBDIR}")
if(TARGET help_chm)
    install(FILES "${QUORLIN_APP_DIR}/help.chm" DESTINATION "${QUORLIN_APP_SUBDIR}")
endif()

if(UNIX AND NOT APPLE)
    set(_quorlin_linux "${CMAKE_SOURCE_DIR}/packaging/linux")

    configure_file("${_quorlin_linux}/chmquorlin.in" "${CMAKE_BINARY_DIR}/packaging/chmquorlin"
                   @ONLY)
    install(PROGRAMS "${CMAKE_BINARY_DIR}/packaging/chmquorlin" DESTINATION bin)

    # The desktop entries name the installed programs by absolute path, and the prefix is
    # only known when installing (cpack installs to /usr, a plain install to the prefix
    # given then), so they are written by the install step itself.
    install(CODE "
        set(QUORLIN_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/bin\")
        set(QUORLIN_APP_DIR_ABS \"\${CMAKE_INSTALL_PREFIX}/${QUORLIN_APP_SUBDIR}\")
        foreach(entry chmquorlin chmquorlin-viewer)
            set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/\${entry}.desktop\")
            message(STATUS \"Installing: \${target}\")
            configure_file(\"${_quorlin_linux}/\${entry}.desktop.in\" \"\${target}\" @ONLY)
            list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${target}\")
        endforeach()")

    install(FILES "${_quorlin_linux}/chmquorlin.svg"
            DESTINATION share/icons/hicolor/scalable/apps)
    foreach(size 48 128)
        install(FILES "${_quorlin_linux}/chmquorlin-${size}.png"
                DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME chmquorlin.png)
    endforeach()
endif()

# cpack: one Debian package with everything above. dpkg-shlibdeps works out the shared
# libraries; the Qt platform and image plugins are loaded at run time, so no linker
# dependency shows them, but they come with libqt6gui6, which the program links anyway.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "chmquorlin")
set(CPACK_PACKAGE_VENDOR "CHM Quorlin")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "turn a folder of HTML pages into a compiled HTML Help (.chm) file and back")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CHM Quorlin builds a help project from a folder of HTML pages, writes its contents
and index, and compiles it into a .chm file with its own HTML Help compiler
(hhc.exe). It also opens .chm files in its own viewer (hh.exe) and takes them
apart into their sources again. Its user interface is in simplified Chinese.")
set(CPACK_PACKAGE_CONTACT "CHM Quorlin <quorlin@example.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "CHM Quorlin <quorlin@example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs and the page menus of the viewer speak Chinese only with Qt's translations,
# which no linker dependency names. (The engine's page process comes with its library.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# Opening folders and mail links goes through the desktop's URL handler; the window
# texts are Chinese and need a font that has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
