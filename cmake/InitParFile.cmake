# Writes the parameter file shipped in the Init folder from the program's own field list: the
# program's version line, then each field's shipped value (the converter's as given), each line
# ending in CR LF.
function(ka_write_init_par out converter)
    file(READ "${PROJECT_SOURCE_DIR}/src/core/settings/ParFields.def" fields)
    # Values hold ";", which CMake would take as list separators.
    string(REPLACE ";" "<semicolon>" fields "${fields}")
    string(REGEX MATCHALL "\nKA_PAR_FIELD\\([A-Za-z0-9]+, \"[^\"\n]*\"\\)" entries "${fields}")
    file(STRINGS "${PROJECT_SOURCE_DIR}/src/core/settings/Orrin1.h" version
         REGEX "kVersionText = \"[^\"]*\"")
    string(REGEX REPLACE ".*kVersionText = \"([^\"]*)\".*" "\\1" version "${version}")
    set(content "${version}\r\n")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^\nKA_PAR_FIELD\\(([A-Za-z0-9]+), \"([^\"\n]*)\"\\)$" "\\1" name "${entry}")
        string(REGEX REPLACE "^\nKA_PAR_FIELD\\(([A-Za-z0-9]+), \"([^\"\n]*)\"\\)$" "\\2" value "${entry}")
        if(name STREQUAL "sKorvaneExe")
            set(value "${converter}")
        endif()
        string(REPLACE "<semicolon>" ";" value "${value}")
        string(APPEND content "${value}\r\n")
    endforeach()
    # The temporary file stays out of Init, which is copied whole into the data folder.
    file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/KorvaneAuto.par.tmp" "${content}")
    configure_file("${CMAKE_CURRENT_BINARY_DIR}/KorvaneAuto.par.tmp" "${out}" COPYONLY)
endfunction()
