# vorn_picture_resources(OUT_VAR QRC)
# Compiles the pictures that QRC lists into the program. Where the Qt has no
# SVG (Debian's Qt for Windows), each picture is compiled in as a PNG of four
# times its drawn size under its own resource name, rendered at build time by
# the host program VORN_SVG_TO_PNG (tools/windows/svg-to-png): Qt reads a
# picture by its contents, so the code names the same resources either way.
function(vorn_picture_resources out_var qrc)
    if(VORN_HAVE_SVG)
        qt_add_resources(sources ${qrc})
        set(${out_var} ${sources} PARENT_SCOPE)
        return()
    endif()
    if(NOT VORN_SVG_TO_PNG)
        message(FATAL_ERROR "This Qt has no SVG: set VORN_SVG_TO_PNG to a host build of "
                            "tools/windows/svg-to-png (tools/windows/build.sh makes one)")
    endif()
    get_filename_component(qrc_dir ${qrc} DIRECTORY)
    get_filename_component(qrc_name ${qrc} NAME)
    file(READ ${qrc} text)
    string(REGEX MATCH "<qresource[^>]*>" head "${text}")
    string(REGEX MATCHALL "<file alias=\"[^\"]+\">[^<]+</file>" entries "${text}")
    set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/pictures)
    set(files "")
    set(pngs "")
    foreach(entry ${entries})
        string(REGEX REPLACE "<file alias=\"([^\"]+)\">([^<]+)</file>" "\\1;\\2" pair "${entry}")
        list(GET pair 0 alias)
        list(GET pair 1 svg)
        get_filename_component(stem ${svg} NAME_WE)
        set(png ${out_dir}/${stem}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${VORN_SVG_TO_PNG} ${qrc_dir}/${svg} ${png} 4
            DEPENDS ${qrc_dir}/${svg}
            COMMENT "Picture ${alias} as PNG"
            VERBATIM)
        string(APPEND files "    <file alias=\"${alias}\">${stem}.png</file>\n")
        list(APPEND pngs ${png})
    endforeach()
    # The same file name, so that Q_INIT_RESOURCE names it the same way.
    file(WRITE ${out_dir}/${qrc_name} "<!DOCTYPE RCC><RCC version=\"1.0\">\n${head}\n${files}</qresource>\n</RCC>\n")
    qt_add_resources(sources ${out_dir}/${qrc_name})
    set(${out_var} ${sources} PARENT_SCOPE)
endfunction()
