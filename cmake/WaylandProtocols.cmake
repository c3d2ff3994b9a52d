# Client code for Wayland protocols, generated at build time by wayland-scanner
# from their XML descriptions.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
# Keymaps as Wayland compositors hand them to clients and take them from
# virtual keyboards.
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)

# Adds the protocol's client header and glue code to the target; the header
# is included as "<name>-client-protocol.h".
function(obx_wayland_client_protocol target xml)
    get_filename_component(name ${xml} NAME_WE)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
    set(header ${folder}/${name}-client-protocol.h)
    set(code ${folder}/${name}-protocol.c)
    add_custom_command(
        OUTPUT ${header} ${code}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
        DEPENDS ${xml}
        VERBATIM)
    target_sources(${target} PRIVATE ${header} ${code})
    target_include_directories(${target} PUBLIC ${folder})
endfunction()
