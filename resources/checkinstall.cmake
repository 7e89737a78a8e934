# Run by ctest: installs the build tree under STAGE with prefix /usr, as a package build does,
# and fails unless the executable, the desktop entry and every icon land where a desktop looks.
file(REMOVE_RECURSE ${STAGE})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(root ${STAGE}/usr)
foreach(path
    bin/korvalen
    share/applications/korvalen.desktop
    share/icons/hicolor/32x32/apps/korvalen.png
    share/icons/hicolor/256x256/apps/korvalen.png
    share/icons/hicolor/scalable/apps/korvalen.svg
    share/pixmaps/korvalen.xpm)
  if(NOT EXISTS ${root}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

# The entry must start the installed program by name and name the themed icon.
file(STRINGS ${root}/share/applications/korvalen.desktop entry)
foreach(line "Type=Application" "Name=Korvalen" "Exec=korvalen" "Icon=korvalen"
    "Categories=Science;Astronomy;")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks '${line}'")
  endif()
endforeach()

find_program(validate desktop-file-validate)
if(validate)
  execute_process(COMMAND ${validate} ${root}/share/applications/korvalen.desktop
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate rejects the entry")
  endif()
endif()
message(STATUS "installed layout complete under ${STAGE}")
