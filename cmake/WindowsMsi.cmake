# Builds the Windows Installer package with wixl: run as a script (cmake -P), from the `msi` target
# or by hand with another version to make an older package for the upgrade check.
#
#   KA_MSI_VERSION   product version, such as 10.11
#   KA_MSI_OUTPUT    the .msi to write
#   KA_MSI_PROGRAM   KorvaneAuto.exe     KA_MSI_HELP_DIR  the help pages
#   KA_MSI_INIT_PAR  Init/KorvaneAuto.par KA_MSI_README   README.txt
#   KA_MSI_ICON      the icon             KA_MSI_SOURCE   KorvaneAuto.wxs.in
#   KA_MSI_STRIP     strip program (optional)   KA_MSI_WIXL  wixl (optional)
#   KA_MSI_STAGE     the folder the files are laid out in (optional: beside the output)
cmake_minimum_required(VERSION 3.25)

# Never change it: every later version finds the installed one by it.
set(KA_MSI_UPGRADE_CODE "CFAF8F17-4EA6-46E6-9920-A878C2087CD3")

foreach(var KA_MSI_VERSION KA_MSI_OUTPUT KA_MSI_PROGRAM KA_MSI_HELP_DIR KA_MSI_INIT_PAR
            KA_MSI_README KA_MSI_ICON KA_MSI_SOURCE)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
foreach(var KA_MSI_OUTPUT KA_MSI_PROGRAM KA_MSI_HELP_DIR KA_MSI_INIT_PAR KA_MSI_README KA_MSI_ICON
            KA_MSI_SOURCE)
    get_filename_component(${var} "${${var}}" ABSOLUTE)
endforeach()
if(NOT KA_MSI_VERSION MATCHES "^[0-9]+\\.[0-9]+(\\.[0-9]+)?$")
    message(FATAL_ERROR "KA_MSI_VERSION '${KA_MSI_VERSION}' is not major.minor[.build]")
endif()
if(NOT KA_MSI_WIXL)
    find_program(KA_MSI_WIXL wixl REQUIRED)
endif()

string(UUID KA_MSI_PRODUCT_CODE NAMESPACE "${KA_MSI_UPGRADE_CODE}"
       NAME "KorvaneAuto ${KA_MSI_VERSION}" TYPE SHA1 UPPER)

# wixl takes sources only by paths relative to its working folder, so the package's files are laid
# out in a folder of their own beside the output, as they will be installed.
if(KA_MSI_STAGE)
    get_filename_component(stage "${KA_MSI_STAGE}" ABSOLUTE)
else()
    get_filename_component(out_dir "${KA_MSI_OUTPUT}" DIRECTORY)
    get_filename_component(out_name "${KA_MSI_OUTPUT}" NAME_WLE)
    set(stage "${out_dir}/${out_name}-stage")
endif()
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}/Init" "${stage}/help")
if(KA_MSI_STRIP)
    execute_process(COMMAND "${KA_MSI_STRIP}" -o "${stage}/KorvaneAuto.exe" "${KA_MSI_PROGRAM}"
                    COMMAND_ERROR_IS_FATAL ANY)
else()
    file(COPY_FILE "${KA_MSI_PROGRAM}" "${stage}/KorvaneAuto.exe")
endif()
file(COPY_FILE "${KA_MSI_README}" "${stage}/README.txt")
file(COPY_FILE "${KA_MSI_INIT_PAR}" "${stage}/Init/KorvaneAuto.par")
file(COPY_FILE "${KA_MSI_ICON}" "${stage}/KorvaneAuto.ico")

# One component per help page; its code follows its path, as the fixed components' codes do.
file(GLOB help_pages RELATIVE "${KA_MSI_HELP_DIR}" "${KA_MSI_HELP_DIR}/*")
list(SORT help_pages)
set(KA_MSI_HELP_COMPONENTS "")
set(KA_MSI_HELP_COMPONENT_REFS "")
foreach(page IN LISTS help_pages)
    if(IS_DIRECTORY "${KA_MSI_HELP_DIR}/${page}")
        message(FATAL_ERROR "help/${page}: the package takes the help pages of one folder only")
    endif()
    file(COPY_FILE "${KA_MSI_HELP_DIR}/${page}" "${stage}/help/${page}")
    string(MAKE_C_IDENTIFIER "help_${page}" id)
    string(UUID guid NAMESPACE "${KA_MSI_UPGRADE_CODE}" NAME "help/${page}" TYPE SHA1 UPPER)
    string(APPEND KA_MSI_HELP_COMPONENTS
           "              <Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"yes\">\n"
           "                <File Id=\"${id}\" Name=\"${page}\" Source=\"help/${page}\" KeyPath=\"yes\"/>\n"
           "              </Component>\n")
    string(APPEND KA_MSI_HELP_COMPONENT_REFS "      <ComponentRef Id=\"${id}\"/>\n")
endforeach()
if(NOT help_pages)
    message(FATAL_ERROR "no help pages in ${KA_MSI_HELP_DIR}")
endif()
string(REGEX REPLACE "\n$" "" KA_MSI_HELP_COMPONENTS "${KA_MSI_HELP_COMPONENTS}")
string(REGEX REPLACE "\n$" "" KA_MSI_HELP_COMPONENT_REFS "${KA_MSI_HELP_COMPONENT_REFS}")

configure_file("${KA_MSI_SOURCE}" "${stage}/KorvaneAuto.wxs" @ONLY)
file(REMOVE "${KA_MSI_OUTPUT}")
execute_process(COMMAND "${KA_MSI_WIXL}" -a x64 -o "${KA_MSI_OUTPUT}" KorvaneAuto.wxs
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result ERROR_VARIABLE errors)
# wixl reports some failures only on standard error, with exit code 0.
if(NOT result EQUAL 0 OR NOT EXISTS "${KA_MSI_OUTPUT}" OR errors MATCHES "CRITICAL|rror")
    file(REMOVE "${KA_MSI_OUTPUT}")
    message(FATAL_ERROR "wixl failed (${result}): ${errors}")
endif()
message(STATUS "${KA_MSI_OUTPUT}: KorvaneAuto ${KA_MSI_VERSION}, product code {${KA_MSI_PRODUCT_CODE}}")
