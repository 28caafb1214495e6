# Where `cmake --install` puts the program and its desktop files (the
# freedesktop layout under the prefix), and the Debian package `cpack -G DEB`
# makes of them. Included after every target is defined.

# The desktop entry starts the viewer in this folder: the viewer reads its
# tables from "../data/" below the current directory, so a plant links its
# data folder beside it (the manual says how).
set(VORN_PLANT_BIN "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/${VORN_PACKAGE_NAME}/bin")

# The viewer and the renderer read LANGUAGE.INI in their own folder, which
# must not be /usr/bin: they live in VORN_PROGRAM_DIR beside a LANGUAGE.INI
# that links to the administrator's file in VORN_CONFIG_DIR (a conffile of
# the package), and /usr/bin holds links to them. The control tool reads
# nothing of the kind and stays in /usr/bin; on Windows all stay in bin.
set(VORN_PROVIDED_BINARIES "")
set(links_dir "${PROJECT_BINARY_DIR}/bin-links")
file(MAKE_DIRECTORY "${links_dir}")
file(RELATIVE_PATH bin_to_program "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_PREFIX}/${VORN_PROGRAM_DIR}")
foreach(program vorn-scheduler vorn-scheduler-ctl vorn-scheduler-render)
    if(NOT TARGET ${program})
        continue()
    endif()
    string(APPEND VORN_PROVIDED_BINARIES "    <binary>${program}</binary>\n")
    if(program STREQUAL "vorn-scheduler-ctl" OR VORN_PROGRAM_DIR STREQUAL CMAKE_INSTALL_BINDIR)
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    else()
        install(TARGETS ${program} RUNTIME DESTINATION ${VORN_PROGRAM_DIR})
        file(CREATE_LINK "${bin_to_program}/${program}" "${links_dir}/${program}" SYMBOLIC)
        install(FILES "${links_dir}/${program}" DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
string(STRIP "${VORN_PROVIDED_BINARIES}" VORN_PROVIDED_BINARIES)
if(NOT WIN32)
    install(FILES res/config/LANGUAGE.INI DESTINATION "${VORN_CONFIG_DIR}")
    file(CREATE_LINK "${VORN_CONFIG_DIR}/LANGUAGE.INI" "${links_dir}/LANGUAGE.INI" SYMBOLIC)
    install(FILES "${links_dir}/LANGUAGE.INI" DESTINATION ${VORN_PROGRAM_DIR})
    # An administrator's edit survives upgrades: dpkg keeps a changed conffile.
    file(WRITE "${PROJECT_BINARY_DIR}/debian/conffiles" "${VORN_CONFIG_DIR}/LANGUAGE.INI\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/debian/conffiles")
endif()

# The plant view: a program of /usr/bin (it reads no LANGUAGE.INI), its
# cells in a conffile, and a service that is installed but not enabled,
# running as a user of its own that the package makes.
if(TARGET vorn-scheduler-serve AND NOT WIN32)
    install(TARGETS vorn-scheduler-serve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES res/systemd/serve.ini DESTINATION "${VORN_CONFIG_DIR}")
    file(APPEND "${PROJECT_BINARY_DIR}/debian/conffiles" "${VORN_CONFIG_DIR}/serve.ini\n")
    set(VORN_SYSTEMD_UNIT_DIR "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
    configure_file(res/systemd/vorn-scheduler-serve.service.in
                   "${PROJECT_BINARY_DIR}/systemd/vorn-scheduler-serve.service" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/systemd/vorn-scheduler-serve.service"
            DESTINATION "${VORN_SYSTEMD_UNIT_DIR}")
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
         "${PROJECT_SOURCE_DIR}/res/systemd/postinst" "${PROJECT_SOURCE_DIR}/res/systemd/postrm")
    set(VORN_SERVE_DEPENDS ", adduser")
endif()

set(desktop_dir "${PROJECT_BINARY_DIR}/desktop")
configure_file(res/desktop/vorn-scheduler.desktop.in
               "${desktop_dir}/${VORN_APP_ID}.desktop" @ONLY)
configure_file(res/desktop/vorn-scheduler.metainfo.xml.in
               "${desktop_dir}/${VORN_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${desktop_dir}/${VORN_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${desktop_dir}/${VORN_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES res/icons/vorn-scheduler.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VORN_APP_ID}.svg)
# An empty folder the package owns, so that removing the package takes it
# away again while a plant's own data link stays.
install(DIRECTORY DESTINATION "${VORN_PLANT_BIN}")

# The manuals go to the program's data folder, not /usr/share/doc: minimal
# systems drop documentation on install, and Help must still find them.
if(TARGET vorn-manual)
    install(FILES ${VORN_MANUAL_FILES}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/${VORN_PACKAGE_NAME})
endif()

set(CPACK_PACKAGE_NAME ${VORN_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Vorn Automation")
set(CPACK_PACKAGE_CONTACT "Vorn Automation <support@vorn-automation.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live Gantt viewer of a production cell's schedule")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the schedule that the cell's manager program keeps in a dBase table as a Gantt chart, grouped by machine or by part, refreshed in place while online.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.vorn-automation.example/")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${VORN_PACKAGE_NAME})
set(CPACK_STRIP_FILES ON)
# Absolute destinations (the plant folder under /var) must land in the
# package's staging tree, not on the building machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries the programs link are found by dpkg-shlibdeps; the plug-ins Qt
# loads at run time (the window system and the SVG pictures) no tool can see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6${VORN_SERVE_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
