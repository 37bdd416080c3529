# Writes the parameter file shipped in the Init folder: 23 CR LF lines, version tag first.
function(ka_write_init_par out converter)
    set(lines
        "Version 10.11"      # version tag
        "hgl\;plt\;hpg"        # HPGL
        "tif\;tiff\;bmp\;jpg\;gif\;png\;pcx\;fpx"  # image
        "pdf"                # PDF
        "emf"                # EMF
        "dxf"                # DXF
        "dwg"                # DWG
        "igs\;iges"           # IGES
        "gbr\;nc\;drl"         # Gerber and drill
        "${converter}"       # converter program
        ""                   # batch list file
        ""                   # standby input folder and pattern
        ""                   # output folder
        "600"                # standby waiting time, seconds
        ""                   # comparison file 1
        ""                   # comparison folder 2
        "0"                  # comparison on/off
        "0"                  # output type, page 1 (PDF)
        "0"                  # output type, page 2 (WMF)
        "0"                  # write batch file during comparison
        "0"                  # comparison skip bits
        "30"                 # size-difference percentage
        "0")                 # no output without difference
    # "\;" keeps an extension list on one line: a bare ";" would split it into list items.
    set(content "")
    foreach(line IN LISTS lines)
        string(APPEND content "${line}\r\n")
    endforeach()
    # The temporary file stays out of Init, which is copied whole into the data folder.
    file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/KorvaneAuto.par.tmp" "${content}")
    configure_file("${CMAKE_CURRENT_BINARY_DIR}/KorvaneAuto.par.tmp" "${out}" COPYONLY)
endfunction()
