# Icon, application manifest (common controls 6, DPI awareness, no elevation) and version
# resource of a Windows GUI executable.
function(ka_add_windows_resources target)
    set(KA_WINDOWS_RESOURCES "${PROJECT_SOURCE_DIR}/resources/windows")
    string(REPLACE "." "," KA_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
    set(KA_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
    set(KA_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    configure_file("${KA_WINDOWS_RESOURCES}/KorvaneAuto.manifest" "${KA_MANIFEST}" @ONLY)
    configure_file("${KA_WINDOWS_RESOURCES}/KorvaneAuto.rc.in"
                   "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
    target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
    set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" PROPERTIES
        OBJECT_DEPENDS "${KA_MANIFEST};${KA_WINDOWS_RESOURCES}/KorvaneAuto.ico")
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
