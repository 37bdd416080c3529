# The static Qt for the Windows cross build: scripts/qt-mingw.sh builds it from Debian's source
# into a cache folder outside the source tree. Its moc, rcc and uic are the host's (same version).
set(KA_QT_PREFIX "" CACHE PATH "Static Qt for MinGW-w64, as installed by scripts/qt-mingw.sh")
if(NOT KA_QT_PREFIX)
    file(GLOB KA_QT_FOUND LIST_DIRECTORIES true "$ENV{HOME}/.cache/korvaneauto/qt-*-mingw-static")
    if(KA_QT_FOUND)
        list(SORT KA_QT_FOUND)
        list(POP_BACK KA_QT_FOUND KA_QT_PREFIX)
    endif()
endif()
if(NOT EXISTS "${KA_QT_PREFIX}/lib/cmake/Qt6/Qt6Config.cmake")
    message(FATAL_ERROR "No static Qt for Windows found ('${KA_QT_PREFIX}'); "
                        "build it with scripts/qt-mingw.sh or set KA_QT_PREFIX")
endif()
message(STATUS "Static Qt for Windows: ${KA_QT_PREFIX}")
list(APPEND CMAKE_FIND_ROOT_PATH "${KA_QT_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${KA_QT_PREFIX}")
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
