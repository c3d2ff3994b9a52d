# obx_adapt_kmdf_headers(<kmdf dir> <output folder>): a copy of the public KMDF headers that g++ takes.
# The headers are third-party files, used unchanged; what g++ needs is adapted in the copy. Files are
# rewritten only when their content changes, so that a new configure rebuilds nothing.
function(obx_adapt_kmdf_headers kmdf_dir out)
    set(copy "${out}/include")
    file(GLOB kmdf_headers "${kmdf_dir}/include/*.h")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kmdf_headers})
    file(COPY ${kmdf_headers} DESTINATION "${copy}" NO_SOURCE_PERMISSIONS
         PATTERN "wdfrequest.h" EXCLUDE PATTERN "wdfdevice.h" EXCLUDE)

    # wdf.h includes five headers by mixed-case names that the files do not have.
    foreach(name WdfQueryInterface WdfWMI wdfDmaEnabler wdfDmaTransaction wdfCommonBuffer)
        string(TOLOWER "${name}" lower)
        file(CREATE_LINK "${lower}.h" "${copy}/${name}.h" SYMBOLIC)
    endforeach()

    # wdfdevice.h takes WDF_REQUEST_TYPE by value before wdfrequest.h defines it, which g++ refuses: the
    # definition moves to where it is first used.
    set(request_type_declaration "typedef enum _WDF_REQUEST_TYPE WDF_REQUEST_TYPE;")
    file(READ "${kmdf_dir}/include/wdfrequest.h" request_header)
    string(REGEX MATCH "typedef enum _WDF_REQUEST_TYPE {[^}]*} WDF_REQUEST_TYPE;" request_type "${request_header}")
    file(READ "${kmdf_dir}/include/wdfdevice.h" device_header)
    string(FIND "${device_header}" "${request_type_declaration}" declaration_at)
    if(NOT request_type OR declaration_at LESS 0)
        message(FATAL_ERROR "The KMDF headers in ${kmdf_dir} are not the ones this adaptation knows")
    endif()
    string(REPLACE "${request_type}" "/* WDF_REQUEST_TYPE is defined in wdfdevice.h */" request_header
                   "${request_header}")
    string(REPLACE "${request_type_declaration}" "${request_type}" device_header "${device_header}")
    file(WRITE "${out}/wdfrequest.h.new" "${request_header}")
    file(WRITE "${out}/wdfdevice.h.new" "${device_header}")
    configure_file("${out}/wdfrequest.h.new" "${copy}/wdfrequest.h" COPYONLY)
    configure_file("${out}/wdfdevice.h.new" "${copy}/wdfdevice.h" COPYONLY)
endfunction()
