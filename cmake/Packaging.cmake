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
configure_file(${PROJECT_SOURCE_DIR}/resources/orbelle.metainfo.xml.in
               ${generated}/orbelle.metainfo.xml @ONLY)

# debian/'s changelog and copyright serve a plain install too; the
# changelog's version is the program's.
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^orbelle \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "debian/changelog begins \"${changelog_head}\": not version ${PROJECT_VERSION}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/debian/changelog ${generated}/changelog COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/debian/copyright ${generated}/copyright COPYONLY)
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
# service runs the OrbelleC of this installation's prefix. Their folder is
# relative to the prefix unless absolute (debian/rules gives Debian 12's /lib).
set(ORBELLE_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd units are installed")
if(IS_ABSOLUTE "${ORBELLE_SYSTEMD_UNIT_DIR}")
  set(unit_dir "${ORBELLE_SYSTEMD_UNIT_DIR}")
else()
  set(unit_dir "\${CMAKE_INSTALL_PREFIX}/${ORBELLE_SYSTEMD_UNIT_DIR}")
endif()
foreach(unit orbelle-report.service orbelle-report.timer)
  install(CODE "
    file(READ [[${PROJECT_SOURCE_DIR}/cmake/systemd/${unit}]] unit)
    string(REPLACE @BINDIR@ \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
    file(WRITE [[${generated}/systemd/${unit}]] \"\${unit}\")
    file(INSTALL [[${generated}/systemd/${unit}]]
         DESTINATION \"${unit_dir}\")" COMPONENT console)
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
# The packages' folders are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
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

# --- The Windows packages (cmake/windows/package.cmake): the ZIP of both
# cross-built pairs of executables with README.TXT and LICENSE.TXT, and the
# x64 and x86 MSIs, all signed when ORBELLE_SIGN_PKCS12 and
# ORBELLE_SIGN_PASSWORD_FILE are given (here or in the environment).
set(ORBELLE_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the Windows executables and installers with")
set(ORBELLE_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of ORBELLE_SIGN_PKCS12")
set(ORBELLE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures (optional)")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/windows-packages.cmake @ONLY CONTENT [[
set(ORBELLE_VERSION "@PROJECT_VERSION@")
set(ORBELLE_SOURCE_DIR "@PROJECT_SOURCE_DIR@")
set(ORBELLE_WINDOWS_BUILD_64 "@ORBELLE_WINDOWS_BUILD_64@")
set(ORBELLE_WINDOWS_BUILD_32 "@ORBELLE_WINDOWS_BUILD_32@")
set(ORBELLE_SIGN_PKCS12 "@ORBELLE_SIGN_PKCS12@")
set(ORBELLE_SIGN_PASSWORD_FILE "@ORBELLE_SIGN_PASSWORD_FILE@")
set(ORBELLE_SIGN_TIMESTAMP_URL "@ORBELLE_SIGN_TIMESTAMP_URL@")
]])
add_custom_target(windows_packages
  COMMAND ${CMAKE_COMMAND} -DSETTINGS=${CMAKE_BINARY_DIR}/windows-packages.cmake
          -DOUT=${CPACK_OUTPUT_FILE_PREFIX} -DSTAGE=${CMAKE_BINARY_DIR}/windows-packages
          -P ${PROJECT_SOURCE_DIR}/cmake/windows/package.cmake
  COMMENT "Packing Orbelle-${PROJECT_VERSION}-windows.zip, -x64.msi and -x86.msi"
  VERBATIM)
