# Sized PNG icons rendered from the sun symbol at build time, beside the scalable one: desktops, docks and
# trays that do not read SVG look for these in the hicolor theme.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(solvane_icon_svg ${SOLVANE_RESOURCES_DIR}/icons/solvane.svg)
set(solvane_icon_pngs)
foreach(size 16 22 24 32 48 64 128 256)
  set(folder ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps)
  add_custom_command(OUTPUT ${folder}/solvane.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio --output ${folder}/solvane.png
            ${solvane_icon_svg}
    DEPENDS ${solvane_icon_svg} VERBATIM)
  list(APPEND solvane_icon_pngs ${folder}/solvane.png)
  install(FILES ${folder}/solvane.png DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(solvane_icons ALL DEPENDS ${solvane_icon_pngs})
