# Installation and packages on Linux: the two programs, their manual pages,
# the desktop entry, its icons and AppStream metainfo (cmake --install, make
# install), the Debian packages orbelle-console and orbelle-desktop, and the
# Windows ZIP of the cross-built executables (make package).
include(GNUInstallDirs)

set(ORBELLE_MAINTAINER "Brenvik - Pavik <orbelle@brenvik-pavik.example>")
set(generated ${CMAKE_BINARY_DIR}/generated)
set(ORBELLE_PACKAGES console)
if(ORBELLE_WINDOWED)
  list(APPEND ORBELLE_PACKAGES desktop)
endif()

# Manual pages and changelogs are installed compressed, as Debian has them.
function(orbelle_gzipped SOURCE OUTPUT)
  add_custom_command(OUTPUT ${OUTPUT}
    COMMAND gzip -9nc ${SOURCE} > ${OUTPUT}
    DEPENDS ${SOURCE}
    COMMENT "Compressing ${OUTPUT}")
endfunction()

set(docs "")
foreach(page OrbelleC Orbelle)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${generated}/man/${page}.1 @ONLY)
  orbelle_gzipped(${generated}/man/${page}.1 ${generated}/man/${page}.1.gz)
  list(APPEND docs ${generated}/man/${page}.1.gz)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${generated}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/orbelle.metainfo.xml.in
               ${generated}/orbelle.metainfo.xml @ONLY)

# The Debian copyright file carries LICENSE's terms as its "License: Expat"
# paragraph: each line indented by one blank, an empty line written " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^.*Copyright \\(c\\)[^\n]*\n\n" "" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " ORBELLE_LICENSE_PARAGRAPHS " ${license}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${generated}/copyright @ONLY)
orbelle_gzipped(${generated}/changelog ${generated}/changelog.gz)
list(APPEND docs ${generated}/changelog.gz)
add_custom_target(orbelle_docs ALL DEPENDS ${docs})

install(TARGETS OrbelleC RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
install(FILES ${generated}/man/OrbelleC.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT console)
if(ORBELLE_WINDOWED)
install(TARGETS Orbelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
install(FILES ${generated}/man/Orbelle.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT desktop)
install(FILES ${PROJECT_SOURCE_DIR}/resources/orbelle.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
install(FILES ${generated}/orbelle.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME example.brenvik_pavik.orbelle.metainfo.xml COMPONENT desktop)
foreach(size 16 32 48 128)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/orbelle-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME orbelle.png COMPONENT desktop)
endforeach()
endif()
# The daily report's systemd units (cmake/systemd/), installed disabled: the
# service runs the OrbelleC of this installation's prefix.
foreach(unit orbelle-report.service orbelle-report.timer)
  install(CODE "
    file(READ [[${PROJECT_SOURCE_DIR}/cmake/systemd/${unit}]] unit)
    string(REPLACE @BINDIR@ \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
    file(WRITE [[${generated}/systemd/${unit}]] \"\${unit}\")
    file(INSTALL [[${generated}/systemd/${unit}]]
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")" COMPONENT console)
endforeach()
foreach(component ${ORBELLE_PACKAGES})
  install(FILES ${generated}/copyright ${generated}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orbelle-${component} COMPONENT ${component})
endforeach()

# --- Debian packages ---
set(CPACK_PACKAGE_NAME orbelle)
set(CPACK_PACKAGE_VENDOR "Brenvik - Pavik")
set(CPACK_PACKAGE_CONTACT "${ORBELLE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${ORBELLE_PACKAGES})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORBELLE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brenvik-pavik.example/orbelle")
# Library dependencies come from the binaries; libsystemd is opened at run
# time for the journal, so no binary names it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME orbelle-console)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "libsystemd0")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME orbelle-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "libsystemd0")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION
    "exact system information report for the console
OrbelleC reports the operating system's full name and bitness, memory load
and sizes, page size, allocation granularity, application address range,
and the processor's architecture, level, revision, count and active mask,
to the screen, a report file or the systemd journal.")
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
    "exact system information report in desktop dialogs
Orbelle shows the reports of OrbelleC (operating system, memory and
processor) in message boxes and an About box, from the desktop's menu or
the command line; it also writes them to a report file or the journal.")

# --- orbelle-console for another Debian architecture (make cross, make package) ---
# A cross build (cmake/toolchain-debian.cmake) packages OrbelleC alone, for
# its architecture. OrbelleC carries libstdc++ and libgcc inside and needs
# libc6 alone: dpkg-shlibdeps with the cross libc finds
# "libc6:<arch> (>= 2.36)" on every architecture, the qualifier being the
# cross packages' way of naming the target's own libc6.
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ORBELLE_DEBIAN_ARCH})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "libc6 (>= 2.36), libsystemd0")
endif()
include(CPack)

# --- The Windows ZIP: both cross-built pairs of executables, README.TXT and
# LICENSE.TXT (CR LF line ends), packed by CPack's ZIP generator from a
# staged folder.
set(windows_stage ${CMAKE_BINARY_DIR}/windows-zip)
set(windows_name Orbelle-${PROJECT_VERSION}-windows)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/README.TXT.in ${windows_stage}/README.TXT
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${windows_stage}/LICENSE.TXT @ONLY NEWLINE_STYLE CRLF)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/CPackWindowsZip.cmake @ONLY CONTENT [[
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Orbelle)
set(CPACK_PACKAGE_DESCRIPTION "Orbelle for Windows")
set(CPACK_PACKAGE_VERSION @PROJECT_VERSION@)
set(CPACK_PACKAGE_FILE_NAME @windows_name@)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "@windows_stage@;.")
set(CPACK_PACKAGE_DIRECTORY @CMAKE_BINARY_DIR@/windows-zip-cpack)
set(CPACK_OUTPUT_FILE_PREFIX @CPACK_OUTPUT_FILE_PREFIX@)
]])
add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E make_directory x64 x86
  COMMAND ${CMAKE_COMMAND} -E copy ${ORBELLE_WINDOWS_BUILD_64}/OrbelleC.exe
          ${ORBELLE_WINDOWS_BUILD_64}/Orbelle.exe x64
  COMMAND ${CMAKE_COMMAND} -E copy ${ORBELLE_WINDOWS_BUILD_32}/OrbelleC.exe
          ${ORBELLE_WINDOWS_BUILD_32}/Orbelle.exe x86
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackWindowsZip.cmake
  WORKING_DIRECTORY ${windows_stage}
  COMMENT "Packing ${windows_name}.zip"
  VERBATIM)

# --- The Windows installer (cmake/Orbelle-setup.nsi), for both widths ---
set(setup_name Orbelle-${PROJECT_VERSION}-setup.exe)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${generated}/setup/LICENSE.TXT @ONLY NEWLINE_STYLE CRLF)
add_custom_target(windows_setup
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CPACK_OUTPUT_FILE_PREFIX}
  COMMAND makensis -V2 -DVERSION=${PROJECT_VERSION} -DX64_DIR=${ORBELLE_WINDOWS_BUILD_64}
          -DX86_DIR=${ORBELLE_WINDOWS_BUILD_32} -DLICENSE=${generated}/setup/LICENSE.TXT
          -DICON=${PROJECT_SOURCE_DIR}/resources/ICON_1.ico
          -DOUTFILE=${CPACK_OUTPUT_FILE_PREFIX}/${setup_name} ${PROJECT_SOURCE_DIR}/cmake/Orbelle-setup.nsi
  COMMENT "Building ${setup_name}"
  VERBATIM)
