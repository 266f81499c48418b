# Builds the Debian package from the build and checks what an installing user gets: every file
# at its place and nothing else, dependencies computed from the binaries, both programs running
# from the package, manual pages that describe every option the programs list, AppStream data that
# validates, completion that offers the options of the program's --help, and lintian's verdict
# when lintian is there. Run by CTest with BUILD_DIR, WORK and CPACK set.

# check_run(OUT COMMAND...): runs the command, fails on any status but 0, keeps what it said.
function(check_run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: ${status}\n${said}")
  endif()
  set(${out} "${said}" PARENT_SCOPE)
endfunction()

# expect_in(TEXT PART WHAT): fails, saying WHAT, when TEXT does not hold PART.
function(expect_in text part what)
  string(FIND "${text}" "${part}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${what}:\n${text}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK}")
check_run(said "${CPACK}" -G DEB -B "${WORK}" --config "${BUILD_DIR}/CPackConfig.cmake")
file(GLOB deb "${WORK}/jeerbox_*.deb")
list(LENGTH deb count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages, not one:\n${said}")
endif()

check_run(depends dpkg-deb --field "${deb}" Depends)
foreach(package libc6 libqt6widgets6 libsdl2-2.0-0 libsndfile1 libsoxr0 qt6-qpa-plugins libqt6svg6)
  if(NOT depends MATCHES "(^|, )${package}( |,|\n)")
    message(FATAL_ERROR "the package does not depend on ${package}: ${depends}")
  endif()
endforeach()

check_run(recommends dpkg-deb --field "${deb}" Recommends)
if(NOT recommends MATCHES "(^|, )qt6-wayland( |,|\n)")
  message(FATAL_ERROR "the package does not recommend qt6-wayland: ${recommends}")
endif()

set(expected
  usr/bin/jeerbox
  usr/bin/jeerbox-convert
  usr/share/applications/jeerbox.desktop
  usr/share/bash-completion/completions/jeerbox-convert
  usr/share/doc/jeerbox/changelog.gz
  usr/share/doc/jeerbox/copyright
  usr/share/icons/hicolor/48x48/apps/jeerbox.png
  usr/share/icons/hicolor/scalable/apps/jeerbox.svg
  usr/share/man/man1/jeerbox-convert.1.gz
  usr/share/man/man1/jeerbox.1.gz
  usr/share/metainfo/example.orvalis.jeerbox.metainfo.xml)
check_run(listing dpkg-deb --contents "${deb}")
string(REGEX MATCHALL "\n-[^\n]*" files "\n${listing}")
set(found)
foreach(line ${files})
  string(REGEX REPLACE ".* \\./" "" path "${line}")
  list(APPEND found ${path})
endforeach()
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the package holds\n  ${found}\nnot\n  ${expected}")
endif()

set(root "${WORK}/root")
check_run(said dpkg-deb -x "${deb}" "${root}")
check_run(version dpkg-deb --field "${deb}" Version)
string(STRIP "${version}" version)
check_run(said "${root}/usr/bin/jeerbox" --version)
if(NOT said STREQUAL "jeerbox (Orvalis Jeerbox) ${version}\n")
  message(FATAL_ERROR "the packaged jeerbox --version says ${said}, the package is ${version}")
endif()

# Each manual page, as man shows it, describes every option its program's --help lists in its
# OPTIONS, and has the exit status and examples.
foreach(program jeerbox jeerbox-convert)
  check_run(help "${root}/usr/bin/${program}" --help)
  execute_process(COMMAND env LC_ALL=C MANWIDTH=250 man -l "${root}/usr/share/man/man1/${program}.1.gz"
    RESULT_VARIABLE status OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "man ${program}: ${status}\n${warnings}")
  endif()
  string(REGEX MATCH "\nOPTIONS\n.*" options "${page}")
  string(REGEX REPLACE "(.)\n[A-Z].*" "\\1" options "${options}")
  string(REGEX MATCHALL "\n  +-[^\n]*" option_lines "\n${help}")
  foreach(line ${option_lines})
    string(STRIP "${line}" line)
    string(REGEX REPLACE "  .*" "" line "${line}")
    string(REGEX MATCHALL "[^ ,]+" names "${line}")
    foreach(name ${names})
      expect_in("${options}" "${name}" "the OPTIONS of ${program}(1) do not describe ${name}")
    endforeach()
  endforeach()
  foreach(part "Exit status:" "\nEXAMPLES\n")
    expect_in("${page}" "${part}" "${program}(1) lacks ${part}")
  endforeach()
endforeach()

check_run(said appstreamcli validate --no-net
  "${root}/usr/share/metainfo/example.orvalis.jeerbox.metainfo.xml")

# Completion, as bash offers it in a folder with a sound file and a folder.
file(MAKE_DIRECTORY "${WORK}/here/voices")
file(TOUCH "${WORK}/here/voice.wav")
file(WRITE "${WORK}/offer.sh" [[
  source /usr/share/bash-completion/bash_completion
  source "$1/usr/share/bash-completion/completions/jeerbox-convert"
  cd "$2"
  offer() {
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _jeerbox_convert jeerbox-convert "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    printf '%s\n' "$*: $(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')"
  }
  offer jeerbox-convert --h
  offer jeerbox-convert -o ''
  offer jeerbox-convert -o out ''
  offer jeerbox-convert -o out -- -]])
check_run(offered env LC_ALL=C "PATH=${root}/usr/bin:$ENV{PATH}" bash "${WORK}/offer.sh" "${root}" "${WORK}/here")
foreach(line
    "jeerbox-convert --h: --help --highpass"
    "jeerbox-convert -o : voices"
    "jeerbox-convert -o out : voice.wav voices"
    "jeerbox-convert -o out -- -: ")
  expect_in("${offered}" "${line}\n" "completion does not offer \"${line}\"")
endforeach()

find_program(LINTIAN lintian)
if(LINTIAN)
  check_run(said "${LINTIAN}" --fail-on error,warning "${deb}")
  message(STATUS "lintian:\n${said}")
else()
  message(STATUS "lintian not installed: the package was not checked by it")
endif()
