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
