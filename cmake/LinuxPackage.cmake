# Installing on Linux: the program's own folder holds the program, the stand-in converter, the help
# pages and Init/, as the build tree's bin/ does, because the program finds all of them beside
# itself. A link in bin/, a desktop entry and an icon make it startable from a menu.
include(GNUInstallDirs)
# Not CMAKE_INSTALL_LIBDIR: it holds no libraries, and its name would vary with the prefix.
set(KA_PROGRAM_DIR lib/korvaneauto)

install(TARGETS KorvaneAuto Korvane RUNTIME DESTINATION "${KA_PROGRAM_DIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/help/" DESTINATION "${KA_PROGRAM_DIR}/help")
# Its parameter file names the converter by its bare name: the one beside the program.
install(FILES "${CMAKE_BINARY_DIR}/bin/Init/KorvaneAuto.par" DESTINATION "${KA_PROGRAM_DIR}/Init")

file(RELATIVE_PATH KA_LINK_TARGET "/${CMAKE_INSTALL_BINDIR}" "/${KA_PROGRAM_DIR}/KorvaneAuto")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
file(CREATE_LINK "${KA_LINK_TARGET}" "${CMAKE_BINARY_DIR}/package/korvaneauto" SYMBOLIC)
install(FILES "${CMAKE_BINARY_DIR}/package/korvaneauto" DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/resources/linux/korvaneauto.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${PROJECT_SOURCE_DIR}/resources/linux/korvaneauto.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvaneauto)
set(CPACK_PACKAGE_VENDOR Tavrolint)
set(CPACK_PACKAGE_CONTACT "Tavrolint <support@tavrolint.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Unattended drawing conversion and comparison with the Korvane converter")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)
