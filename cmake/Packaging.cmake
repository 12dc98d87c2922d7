# Installation on Linux: the two programs, their manual pages, the desktop
# entry, its icons and AppStream metainfo (cmake --install, make install, and
# debian/rules, which makes the Debian packages of them), and the Windows ZIP
# and MSIs of the cross-built executables (make package).
include(GNUInstallDirs)

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
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
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
endif()
foreach(component ${ORBELLE_PACKAGES})
  install(FILES ${generated}/copyright ${generated}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/orbelle-${component} COMPONENT ${component})
endforeach()


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
          -DOUT=${CMAKE_BINARY_DIR}/packages -DSTAGE=${CMAKE_BINARY_DIR}/windows-packages
          -P ${PROJECT_SOURCE_DIR}/cmake/windows/package.cmake
  COMMENT "Packing Orbelle-${PROJECT_VERSION}-windows.zip, -x64.msi and -x86.msi"
  VERBATIM)
