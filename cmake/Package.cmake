# What the installed program brings beside its two binaries, and the Debian package that carries
# it all (cpack -G DEB in a configured build; scripts/package.sh does the whole job).
#
# Nothing here is written twice: the manual pages are made from each program's own --help, the
# AppStream data takes its sound file types from the menu entry and its screenshot from the
# README, and the release's version and date come from the package's changelog, whose latest
# entry must be for the project's version.

set(JEERBOX_PACKAGE_SOURCE ${CMAKE_SOURCE_DIR}/resources/package)
# What is read here is read again whenever one of these changes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${JEERBOX_PACKAGE_SOURCE}/changelog
  ${CMAKE_SOURCE_DIR}/resources/desktop/jeerbox.desktop ${CMAKE_SOURCE_DIR}/README.md)
set(JEERBOX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/jeerbox)
find_program(HELP2MAN help2man)
if(NOT HELP2MAN)
  message(FATAL_ERROR "help2man not found (Debian package help2man): it makes the manual pages")
endif()

function(jeerbox_changelog_field field out)
  execute_process(COMMAND dpkg-parsechangelog -l ${JEERBOX_PACKAGE_SOURCE}/changelog -S ${field}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
jeerbox_changelog_field(Version JEERBOX_RELEASE_VERSION)
if(NOT JEERBOX_RELEASE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "resources/package/changelog's latest entry is for ${JEERBOX_RELEASE_VERSION}, "
    "the project is ${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION} at its top")
endif()
# The release's time dates the manual pages, so that the same release makes the same pages.
jeerbox_changelog_field(Timestamp JEERBOX_RELEASE_TIME)
execute_process(COMMAND date -u -d @${JEERBOX_RELEASE_TIME} +%F
  OUTPUT_VARIABLE JEERBOX_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# Debian wants its documents compressed without a name or a time in them (gzip -n).
function(jeerbox_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND gzip -9nc ${source} > ${target}
    DEPENDS ${source})
endfunction()

# jeerbox_manual(PROGRAM WHATIS [HELP2MAN OPTION...]): PROGRAM(1) from PROGRAM --help, with
# the sections --help does not hold from resources/package/PROGRAM.h2m.
function(jeerbox_manual program whatis)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  set(include ${JEERBOX_PACKAGE_SOURCE}/${program}.h2m)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${JEERBOX_RELEASE_TIME}
      ${HELP2MAN} --no-info --section=1 "--source=Orvalis Jeerbox" --name=${whatis}
        --include=${include} ${ARGN} --output=${page} $<TARGET_FILE:${program}>
    DEPENDS ${program} ${include}
    VERBATIM)
  jeerbox_gzip(${page} ${page}.gz)
  add_custom_target(${program}-manual ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
jeerbox_manual(jeerbox "the workbench that makes taunts for the game Orvalis")
jeerbox_manual(jeerbox-convert "convert sound files to taunts for the game Orvalis"
  --version-string=${PROJECT_VERSION})

install(FILES ${JEERBOX_PACKAGE_SOURCE}/jeerbox-convert.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME jeerbox-convert)

# AppStream: the sound file types are the menu entry's, the screenshot is the README's first
# picture with its text, on the host below.
set(JEERBOX_APPSTREAM_ID example.orvalis.jeerbox)
set(JEERBOX_HOMEPAGE https://orvalis.example/jeerbox/)
file(READ ${CMAKE_SOURCE_DIR}/resources/desktop/jeerbox.desktop entry)
string(REGEX MATCH "\nMimeType=([^\n]*)" media_types "${entry}")
set(JEERBOX_MEDIA_TYPES)
foreach(type ${CMAKE_MATCH_1})
  string(APPEND JEERBOX_MEDIA_TYPES "    <mediatype>${type}</mediatype>\n")
endforeach()
file(READ ${CMAKE_SOURCE_DIR}/README.md readme)
if(NOT readme MATCHES "!\\[([^]\n]+)\\]\\(([^)\n]+)\\)")
  message(FATAL_ERROR "README.md shows no picture for the AppStream screenshot")
endif()
set(JEERBOX_SCREENSHOT ${CMAKE_MATCH_2})
string(REPLACE "&" "&amp;" JEERBOX_SCREENSHOT_CAPTION "${CMAKE_MATCH_1}")
string(REPLACE "<" "&lt;" JEERBOX_SCREENSHOT_CAPTION "${JEERBOX_SCREENSHOT_CAPTION}")
set(metainfo ${CMAKE_BINARY_DIR}/${JEERBOX_APPSTREAM_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/resources/desktop/jeerbox.metainfo.xml.in ${metainfo} @ONLY)
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The package's copyright file names the font the window carries, with the copyright and
# licence of the Debian package it is taken from.
get_filename_component(JEERBOX_LAYOUT_FONT_NAME ${JEERBOX_LAYOUT_FONT} NAME)
execute_process(COMMAND dpkg-query -S ${JEERBOX_LAYOUT_FONT} OUTPUT_VARIABLE font_owner
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE ":.*" "" JEERBOX_FONT_PACKAGE "${font_owner}")
file(READ /usr/share/doc/${JEERBOX_FONT_PACKAGE}/copyright font_copyright)
if(NOT font_copyright MATCHES "\nFiles: \\*\n(.*)")
  message(FATAL_ERROR "/usr/share/doc/${JEERBOX_FONT_PACKAGE}/copyright has no paragraph for the font")
endif()
string(REGEX REPLACE "\n\n.*" "\n" JEERBOX_FONT_COPYRIGHT "${CMAKE_MATCH_1}")
configure_file(${JEERBOX_PACKAGE_SOURCE}/copyright.in ${CMAKE_BINARY_DIR}/doc/copyright @ONLY)
jeerbox_gzip(${JEERBOX_PACKAGE_SOURCE}/changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_target(jeerbox-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DESTINATION ${JEERBOX_DOC_DIR})

# The Debian package. Its dependencies are computed from the binaries by dpkg-shlibdeps; the
# libraries loaded at run time are out of their sight: the sound devices', decoder and loudness
# libraries (loaded when a run first needs them), the toolkit's platform plugins (without them
# no window opens) and its SVG plugin (the tool-bar images); its Wayland plugin is recommended.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jeerbox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Jeerbox developers <jeerbox@orvalis.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "taunt maker for the game Orvalis")
set(CPACK_PACKAGE_DESCRIPTION "Orvalis Jeerbox prepares audio taunts for the game Orvalis. It converts
sound files (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, CAF, W64, RF64) to
the one format the game plays: PCM, mono, 22050 Hz, 8-bit unsigned.

The workbench window (jeerbox) shows the waveform, selects, plays,
normalizes and saves a clip, records from the microphone and writes a
sound page into a game table file (.gam). The command-line tool
jeerbox-convert converts many files in one run.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0, libsndfile1 (>= 1.1.0), qt6-qpa-plugins, libqt6svg6")
# The toolkit's Wayland plugin. A Wayland session that also runs XWayland (DISPLAY set, as
# Debian's desktops do) opens the window through XWayland without it; one without XWayland, or
# QT_QPA_PLATFORM=wayland, cannot open the window at all.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
include(CPack)
