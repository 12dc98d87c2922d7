# The Windows packages: Orbelle-<version>-windows.zip (both widths) and
# Orbelle-<version>-x64.msi and -x86.msi, signed when a certificate is given.
#   cmake -DSETTINGS=<build>/windows-packages.cmake -DOUT=<folder> -DSTAGE=<folder>
#         [-DVERSION=1.2.3.4] [-DARCHES=x64;x86] [-DZIP=OFF] -P package.cmake
# SETTINGS (written by Packaging.cmake) names the version, the sources and the
# two Windows builds, and the signing settings of the CMake cache; VERSION
# builds the same packages under another version (the upgrade test's older
# package).
#
# Signing (Authenticode, SHA-256, with osslsigncode): ORBELLE_SIGN_PKCS12, a
# PKCS#12 file, and ORBELLE_SIGN_PASSWORD_FILE, a file holding its password,
# from the environment or else the CMake cache; ORBELLE_SIGN_TIMESTAMP_URL
# optionally names an RFC 3161 time-stamp server. osslsigncode reads the
# password from the file itself: it is on no command line and in no log.
#
# Everything written is the same, byte for byte, from any folder at any time:
# file times are SOURCE_DATE_EPOCH's (the last commit's date unless the
# environment sets it), the MSI's summary times too (wixl reads the clock:
# it runs under faketime, the clock stopped), and its package code comes
# from its contents.
cmake_minimum_required(VERSION 3.20)
include(${SETTINGS})
if(NOT DEFINED VERSION)
  set(VERSION ${ORBELLE_VERSION})
endif()
if(NOT DEFINED ARCHES)
  set(ARCHES x64 x86)
endif()
set(windows ${ORBELLE_SOURCE_DIR}/cmake/windows)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}: ${status}\n${output}")
  endif()
endfunction()

# --- When: SOURCE_DATE_EPOCH, or the last commit's time ---
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  execute_process(COMMAND git -C ${ORBELLE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set and ${ORBELLE_SOURCE_DIR} is no git checkout")
endif()
execute_process(COMMAND date -u -d @${epoch} "+%Y-%m-%d %H:%M:%S"
                OUTPUT_VARIABLE epoch_date OUTPUT_STRIP_TRAILING_WHITESPACE)
# A stopped clock: faketime's plain form starts a clock there that runs, and
# a second can pass between two builds' runs; -f with the bare date holds it.
set(fixed_clock env TZ=UTC faketime -f ${epoch_date})

# --- Signing ---
foreach(setting PKCS12 PASSWORD_FILE TIMESTAMP_URL)
  if(NOT "$ENV{ORBELLE_SIGN_${setting}}" STREQUAL "")
    set(sign_${setting} "$ENV{ORBELLE_SIGN_${setting}}")
  else()
    set(sign_${setting} "${ORBELLE_SIGN_${setting}}")
  endif()
endforeach()
if(sign_PKCS12 AND sign_PASSWORD_FILE)
  foreach(file "${sign_PKCS12}" "${sign_PASSWORD_FILE}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "Signing: ${file} does not exist")
    endif()
  endforeach()
  set(signing ON)
  message(STATUS "Signing the Windows executables and installers with ${sign_PKCS12}")
elseif(sign_PKCS12 OR sign_PASSWORD_FILE)
  message(FATAL_ERROR "Signing needs both ORBELLE_SIGN_PKCS12 and ORBELLE_SIGN_PASSWORD_FILE")
else()
  set(signing OFF)
  message(STATUS "The Windows executables and installers are unsigned (no ORBELLE_SIGN_PKCS12 and ORBELLE_SIGN_PASSWORD_FILE)")
endif()

function(sign file)
  if(NOT signing)
    return()
  endif()
  set(timestamp "")
  if(sign_TIMESTAMP_URL)
    set(timestamp -ts ${sign_TIMESTAMP_URL})
  endif()
  file(REMOVE ${file}.signed)
  run(osslsigncode sign -pkcs12 ${sign_PKCS12} -readpass ${sign_PASSWORD_FILE} -h sha256
      -n "Orbelle" -i "https://brenvik-pavik.example/orbelle" ${timestamp}
      -in ${file} -out ${file}.signed)
  file(RENAME ${file}.signed ${file})
endfunction()

# Copies SOURCE to DESTINATION with CR LF line ends.
function(copy_crlf source destination)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
endfunction()

function(set_times folder)
  file(GLOB_RECURSE files LIST_DIRECTORIES true ${folder}/*)
  run(touch -h -d @${epoch} ${folder} ${files})
endfunction()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${OUT})

# --- The executables, signed once for the ZIP and the MSIs ---
set(build_x64 ${ORBELLE_WINDOWS_BUILD_64})
set(build_x86 ${ORBELLE_WINDOWS_BUILD_32})
set(zip_name Orbelle-${VERSION}-windows)
set(zip_root ${STAGE}/zip/${zip_name})
foreach(arch x64 x86)
  foreach(program OrbelleC Orbelle)
    file(COPY ${build_${arch}}/${program}.exe DESTINATION ${zip_root}/${arch})
    sign(${zip_root}/${arch}/${program}.exe)
  endforeach()
endforeach()

# --- The ZIP ---
if(NOT ZIP STREQUAL "OFF")
  set(PROJECT_VERSION ${VERSION})
  configure_file(${windows}/README.TXT.in ${zip_root}/README.TXT @ONLY NEWLINE_STYLE CRLF)
  copy_crlf(${ORBELLE_SOURCE_DIR}/LICENSE ${zip_root}/LICENSE.TXT)
  copy_crlf(${windows}/orbelle-wef-subscription.xml ${zip_root}/orbelle-wef-subscription.xml)
  set(entries ${zip_name}/ ${zip_name}/LICENSE.TXT ${zip_name}/README.TXT ${zip_name}/orbelle-wef-subscription.xml
      ${zip_name}/x64/ ${zip_name}/x64/Orbelle.exe ${zip_name}/x64/OrbelleC.exe
      ${zip_name}/x86/ ${zip_name}/x86/Orbelle.exe ${zip_name}/x86/OrbelleC.exe)
  # Python's zipfile, as every entry's time and attributes are set here.
  set(pack [=[
import sys, time, zipfile
out, epoch, entries = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
stamp = time.gmtime(max(epoch, 315532800))[:6]
with zipfile.ZipFile(out, "w") as archive:
    for name in entries:
        entry = zipfile.ZipInfo(name, stamp)
        entry.create_system = 3
        if name.endswith("/"):
            entry.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(entry, b"")
        else:
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(name, "rb") as data:
                archive.writestr(entry, data.read(), compresslevel=9)
]=])
  file(REMOVE ${OUT}/${zip_name}.zip)
  execute_process(COMMAND python3 -c "${pack}" ${OUT}/${zip_name}.zip ${epoch} ${entries}
                  WORKING_DIRECTORY ${STAGE}/zip RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Packing ${zip_name}.zip: ${status}")
  endif()
endif()

# --- The MSIs ---
set(UPGRADE_CODE "{3C6E1A52-7F0B-4E4D-9B1D-5A2F0C8E7D41}")
configure_file(${windows}/msi-additions.sql ${STAGE}/msi-additions.sql @ONLY)

# The task definition as Windows writes its own: UTF-16 with a byte-order
# mark and CR LF line ends.
file(READ ${windows}/orbelle-report-task.xml task_xml)
string(REPLACE "encoding=\"UTF-8\"" "encoding=\"UTF-16\"" task_xml "${task_xml}")
string(REPLACE "\n" "\r\n" task_xml "${task_xml}")
file(WRITE ${STAGE}/task-utf8.xml "${task_xml}")

set(namespace 6F1B6C2E-2F0A-4C55-8E3B-0D7A9E41C7B5)
foreach(arch IN LISTS ARCHES)
  set(folder ${STAGE}/msi-${arch})
  file(MAKE_DIRECTORY ${folder})
  file(COPY ${zip_root}/${arch}/OrbelleC.exe ${zip_root}/${arch}/Orbelle.exe
            ${ORBELLE_SOURCE_DIR}/resources/ICON_1.ico ${windows}/Orbelle.wxs DESTINATION ${folder})
  copy_crlf(${ORBELLE_SOURCE_DIR}/LICENSE ${folder}/LICENSE.TXT)
  copy_crlf(${windows}/orbelle-wef-subscription.xml ${folder}/orbelle-wef-subscription.xml)
  # glibc's UTF-16 is little-endian with a byte-order mark, as Windows has it.
  run(iconv -f UTF-8 -t UTF-16 -o ${folder}/orbelle-report-task.xml ${STAGE}/task-utf8.xml)
  set_times(${folder})

  if(arch STREQUAL "x64")
    set(win64 yes)
    set(program_files ProgramFiles64Folder)
    set(platform x64)
    set(system_folder System64Folder)
  else()
    set(win64 no)
    set(program_files ProgramFilesFolder)
    set(platform Intel)
    set(system_folder SystemFolder)
  endif()
  # Fixed codes: the product's from its version and width, the components'
  # from their width (they keep their identity across versions), the
  # package's from everything in it.
  string(UUID product_code NAMESPACE ${namespace} NAME "product ${VERSION} ${arch}" TYPE SHA1 UPPER)
  string(REGEX REPLACE "^.*\\." "" revision ${VERSION})
  set(defines -D Version=${VERSION} -D Revision=${revision} -D Arch=${arch} -D Win64=${win64}
      -D ProgramFiles=${program_files} -D SystemFolder=${system_folder} -D ProductCode=${product_code})
  foreach(component Console Dialog License Subscription Settings Task Path)
    string(UUID guid NAMESPACE ${namespace} NAME "component ${component} ${arch}" TYPE SHA1 UPPER)
    list(APPEND defines -D Guid${component}=${guid})
  endforeach()
  set(contents "${defines}")
  foreach(file OrbelleC.exe Orbelle.exe LICENSE.TXT orbelle-wef-subscription.xml orbelle-report-task.xml
               ICON_1.ico Orbelle.wxs)
    file(SHA256 ${folder}/${file} hash)
    string(APPEND contents " ${hash}")
  endforeach()
  file(SHA256 ${STAGE}/msi-additions.sql hash)
  string(APPEND contents " ${hash}")
  string(UUID package_code NAMESPACE ${namespace} NAME "${contents}" TYPE SHA1 UPPER)

  set(msi ${OUT}/Orbelle-${VERSION}-${arch}.msi)
  file(REMOVE ${msi})
  execute_process(COMMAND ${fixed_clock} wixl -a ${arch} ${defines} -o ${msi} Orbelle.wxs
                  WORKING_DIRECTORY ${folder} RESULT_VARIABLE status ERROR_VARIABLE errors)
  # wixl warns on stderr about attributes it ignores; only its status counts.
  if(NOT status EQUAL 0 OR NOT EXISTS ${msi})
    message(FATAL_ERROR "wixl for ${arch}: ${status}\n${errors}")
  endif()
  execute_process(COMMAND grep -v -e "^--" -e "^$" ${STAGE}/msi-additions.sql
                  COMMAND xargs -d "\\n" -n 1 ${fixed_clock} msibuild ${msi} -q
                  RESULTS_VARIABLE statuses ERROR_VARIABLE errors)
  if(NOT statuses STREQUAL "0;0")
    message(FATAL_ERROR "msibuild for ${arch}: ${statuses}\n${errors}")
  endif()
  # (Not through run(): the template "x64;1033" must stay one argument.)
  execute_process(COMMAND ${fixed_clock} msibuild ${msi} -s "Orbelle ${VERSION} (${arch})"
                          "Brenvik - Pavik" "${platform};1033" "{${package_code}}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msibuild -s for ${arch}: ${status}")
  endif()
  sign(${msi})
endforeach()
