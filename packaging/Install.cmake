# Where the system installs, and the one call that installs a program: every program and the action
# macros file live together in ${OBX_INSTALL_PROGRAM_DIR} (the helper finds the macros file beside its
# own executable), with a link in bin/ for each program. A new deliverable adds itself with
# obx_install_program(<target>) and its own unit files with install(FILES ...) into the folders below.
include(GNUInstallDirs)

set(OBX_INSTALL_PROGRAM_DIR lib/obx)
set(OBX_INSTALL_SYSTEM_UNIT_DIR lib/systemd/system)
set(OBX_INSTALL_USER_UNIT_DIR lib/systemd/user)
set(OBX_INSTALL_UDEV_RULES_DIR lib/udev/rules.d)
set(OBX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

function(obx_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${OBX_INSTALL_PROGRAM_DIR} COMPONENT obx)
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
        return()
    endif()
    # Made in the build tree and installed as the link it is.
    set(link ${CMAKE_BINARY_DIR}/install-links/${target})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
    file(CREATE_LINK ../${OBX_INSTALL_PROGRAM_DIR}/${target} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT obx)
endfunction()
