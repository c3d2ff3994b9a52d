# What the package holds beyond the programs, and the Debian package built by `cpack -G DEB`.
install(FILES ${PROJECT_SOURCE_DIR}/helper/actions/obxactions.json DESTINATION ${OBX_INSTALL_PROGRAM_DIR}
        COMPONENT obx)
# The configuration page, in the folder the helper serves it from.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/ui/ DESTINATION ${OBX_INSTALL_PROGRAM_DIR}/ui COMPONENT obx)
install(FILES ${OBX_PACKAGING_DIR}/obxkernd.service DESTINATION ${OBX_INSTALL_SYSTEM_UNIT_DIR} COMPONENT obx)
install(FILES ${OBX_PACKAGING_DIR}/obxhelper.service DESTINATION ${OBX_INSTALL_USER_UNIT_DIR} COMPONENT obx)
install(FILES ${OBX_PACKAGING_DIR}/70-obxkern.rules DESTINATION ${OBX_INSTALL_UDEV_RULES_DIR} COMPONENT obx)
install(FILES ${OBX_PACKAGING_DIR}/devices.conf DESTINATION /etc/obxkern COMPONENT obx)
install(FILES ${OBX_PACKAGING_DIR}/obxhelper.desktop DESTINATION /etc/xdg/autostart COMPONENT obx)
# The same entry among the applications, where KWin looks for the programs it
# grants fake input (NoDisplay keeps it out of menus).
install(FILES ${OBX_PACKAGING_DIR}/obxhelper.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT obx)
# Both copies of our GNOME Shell extension, where the Shell finds the extensions of every user; each
# Shell loads the copy that lists its major.
install(DIRECTORY ${OBX_GNOME_EXTENSIONS_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions
        COMPONENT obx)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/obxkernd.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT obx)

set(CPACK_PACKAGE_NAME obx)
set(CPACK_PACKAGE_VENDOR "obx")
set(CPACK_PACKAGE_CONTACT "obx maintainers <obx@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trackball filter driver (obxkernd) and per-user helper (obxhelper)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# The shared libraries' packages come from dpkg-shlibdeps; what the programs start or rely on at run
# time is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "systemd, udev")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${OBX_PACKAGING_DIR}/debian/conffiles ${OBX_PACKAGING_DIR}/debian/postinst
    ${OBX_PACKAGING_DIR}/debian/prerm ${OBX_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
