# Installs the build into a fresh prefix and checks what a desktop finds there: both programs,
# a menu entry that desktop-file-validate accepts and that opens files with the workbench,
# and the icon at both sizes. Run by CTest with BUILD_DIR and PREFIX set.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

foreach(path bin/jeerbox bin/jeerbox-convert share/applications/jeerbox.desktop
    share/icons/hicolor/scalable/apps/jeerbox.svg share/icons/hicolor/48x48/apps/jeerbox.png)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

set(entry "${PREFIX}/share/applications/jeerbox.desktop")
execute_process(COMMAND desktop-file-validate "${entry}" RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT status EQUAL 0 OR said MATCHES "error")
  message(FATAL_ERROR "desktop-file-validate: ${status}\n${said}")
endif()
file(READ "${entry}" content)
foreach(line "Exec=jeerbox %F" "Icon=jeerbox" "Categories=AudioVideo;Audio;")
  string(FIND "${content}" "\n${line}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "the menu entry lacks ${line}")
  endif()
endforeach()
string(REGEX MATCH "\nMimeType=[^\n]*" types "${content}")
foreach(type audio/x-wav audio/flac audio/ogg audio/x-opus+ogg audio/mpeg audio/x-aiff audio/x-caf audio/x-w64)
  string(FIND "${types}" "=${type};" first)
  string(FIND "${types}" ";${type};" later)
  if(first LESS 0 AND later LESS 0)
    message(FATAL_ERROR "the menu entry does not offer to open ${type}")
  endif()
endforeach()

# The PNG's header: its width and height, big-endian, at bytes 16 to 23.
file(READ "${PREFIX}/share/icons/hicolor/48x48/apps/jeerbox.png" size OFFSET 16 LIMIT 8 HEX)
if(NOT size STREQUAL "0000003000000030")
  message(FATAL_ERROR "the 48-pixel icon is not 48 x 48: ${size}")
endif()

# The installed tool runs from its new place.
execute_process(COMMAND "${PREFIX}/bin/jeerbox-convert" --help RESULT_VARIABLE status OUTPUT_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said MATCHES "^Usage: jeerbox-convert")
  message(FATAL_ERROR "the installed jeerbox-convert does not run: ${status}")
endif()
