# The Windows package: a ZIP with the program, its help pages, the Init folder and a README.
# The stand-in converter goes into a separate test archive, in a folder of its own, so it never
# sits where the program looks for the real converter.
set(KA_PACKAGE_PAR "${CMAKE_BINARY_DIR}/package/Init/KorvaneAuto.par")
# A bare name: the program takes it as the converter in its own folder.
ka_write_init_par("${KA_PACKAGE_PAR}" "Korvane.exe")

install(TARGETS KorvaneAuto RUNTIME DESTINATION . COMPONENT program)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/help/" DESTINATION help COMPONENT program)
install(FILES "${KA_PACKAGE_PAR}" DESTINATION Init COMPONENT program)
install(FILES "${PROJECT_SOURCE_DIR}/resources/windows/README-Windows.txt" DESTINATION .
        RENAME README.txt COMPONENT program)
install(TARGETS Korvane RUNTIME DESTINATION stand-in-converter COMPONENT testing)
install(FILES "${PROJECT_SOURCE_DIR}/resources/windows/README-stand-in.txt"
        DESTINATION stand-in-converter RENAME README.txt COMPONENT testing)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KorvaneAuto)
set(CPACK_PACKAGE_VENDOR Tavrolint)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program testing)
set(CPACK_ARCHIVE_PROGRAM_FILE_NAME "KorvaneAuto-${PROJECT_VERSION}-win64")
set(CPACK_ARCHIVE_TESTING_FILE_NAME "KorvaneAuto-${PROJECT_VERSION}-win64-test-converter")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)

# The Windows Installer package, KorvaneAuto-<version>-x64.msi, beside the ZIPs: the program part
# of the ZIP, but with an Init file naming the converter where its own installer puts it, since
# the MSI never ships the stand-in. Built by the `msi` target with wixl (cmake/WindowsMsi.cmake);
# the script written here builds other versions too:
#   cmake -DKA_MSI_VERSION=10.10 -DKA_MSI_OUTPUT=old.msi -P <build>/msi/KorvaneAuto-msi.cmake
include(${PROJECT_SOURCE_DIR}/cmake/InitParFile.cmake)
file(STRINGS "${PROJECT_SOURCE_DIR}/src/core/settings/Orrin1.cpp" KA_MSI_CONVERTER
     REGEX "kDefaultKorvaneExe = \"[^\"]*\"")
string(REGEX REPLACE ".*kDefaultKorvaneExe = \"([^\"]*)\".*" "\\1" KA_MSI_CONVERTER
       "${KA_MSI_CONVERTER}")
string(REPLACE "\\\\" "\\" KA_MSI_CONVERTER "${KA_MSI_CONVERTER}")
if(NOT KA_MSI_CONVERTER MATCHES "^[A-Z]:\\\\.*\\.exe$")
    message(FATAL_ERROR "no default converter path found in Orrin1.cpp: '${KA_MSI_CONVERTER}'")
endif()
set(KA_MSI_INIT_PAR "${CMAKE_BINARY_DIR}/msi/Init/KorvaneAuto.par")
ka_write_init_par("${KA_MSI_INIT_PAR}" "${KA_MSI_CONVERTER}")

set(KA_MSI_SOURCE "${PROJECT_SOURCE_DIR}/resources/windows/KorvaneAuto.wxs.in")
set(KA_MSI_README "${PROJECT_SOURCE_DIR}/resources/windows/README-Windows.txt")
set(KA_MSI_ICON "${PROJECT_SOURCE_DIR}/resources/windows/KorvaneAuto.ico")
set(KA_MSI_SCRIPT "${CMAKE_BINARY_DIR}/msi/KorvaneAuto-msi.cmake")
set(KA_MSI_OUTPUT "${CMAKE_BINARY_DIR}/package/KorvaneAuto-${PROJECT_VERSION}-x64.msi")
file(GENERATE OUTPUT "${KA_MSI_SCRIPT}" CONTENT "\
# Written by cmake/WindowsPackage.cmake: the MSI of this build tree's program.
if(NOT DEFINED KA_MSI_VERSION)
    set(KA_MSI_VERSION \"${PROJECT_VERSION}\")
endif()
if(NOT DEFINED KA_MSI_OUTPUT)
    set(KA_MSI_OUTPUT \"${KA_MSI_OUTPUT}\")
    set(KA_MSI_STAGE \"${CMAKE_BINARY_DIR}/msi/stage\")
endif()
set(KA_MSI_PROGRAM \"$<TARGET_FILE:KorvaneAuto>\")
set(KA_MSI_HELP_DIR \"${PROJECT_SOURCE_DIR}/resources/help\")
set(KA_MSI_INIT_PAR \"${KA_MSI_INIT_PAR}\")
set(KA_MSI_README \"${KA_MSI_README}\")
set(KA_MSI_ICON \"${KA_MSI_ICON}\")
set(KA_MSI_SOURCE \"${KA_MSI_SOURCE}\")
set(KA_MSI_STRIP \"${CMAKE_STRIP}\")
include(\"${PROJECT_SOURCE_DIR}/cmake/WindowsMsi.cmake\")
")
file(GLOB KA_MSI_HELP_PAGES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/resources/help/*")
add_custom_command(
    OUTPUT "${KA_MSI_OUTPUT}"
    COMMAND "${CMAKE_COMMAND}" -P "${KA_MSI_SCRIPT}"
    DEPENDS KorvaneAuto "${KA_MSI_SCRIPT}" "${PROJECT_SOURCE_DIR}/cmake/WindowsMsi.cmake"
            "${KA_MSI_SOURCE}" "${KA_MSI_README}" "${KA_MSI_ICON}" "${KA_MSI_INIT_PAR}"
            ${KA_MSI_HELP_PAGES}
    COMMENT "Building KorvaneAuto-${PROJECT_VERSION}-x64.msi"
    VERBATIM)
add_custom_target(msi DEPENDS "${KA_MSI_OUTPUT}")
