# Install rules and the two Debian packages that "cpack" (or the build's "package" target)
# makes from a build:
#   corvane-plexa        the launcher of the workstations (component "launcher")
#   corvane-fileservice  the file service of the server, as a systemd service ("fileservice")
# Where each file goes is what the README's "Deploying" section tells IT staff, and what
# scripts/check-packages.sh checks in the packages.
#
# One version for everything: project(VERSION) is the version of both packages, and the same
# CMAKE_PROJECT_VERSION is what corvane_stamp_version() writes into the executables.

# The Windows build will make its installer from the same version (CPACK_PACKAGE_VERSION or
# a configured installer script) and stamp a version resource in corvane_stamp_version().
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_generated ${CMAKE_BINARY_DIR}/packaging)
# The launcher's own folder, where it reads Corvane.ini, fetches the modules and may replace
# itself: state that changes while it runs, so under /var/lib, writable by its users (the
# postinst gives it to the group corvane-plexa).
set(CORVANE_SUITE_DIR /var/lib/corvane-plexa)
set(CORVANE_PACKAGE_CONTACT "Corvane <suporte@corvane.example>")
set(CORVANE_PACKAGE_VERSION ${CMAKE_PROJECT_VERSION})
# The executables' version (and later the Windows version resource and installer) has four
# parts of at most 65535 each (corvane_stamp_version() checks the bounds); written out in full
# and without leading zeros, the packages' version reads as the stamped one.
set(_number "(0|[1-9][0-9]*)")
if(NOT CORVANE_PACKAGE_VERSION MATCHES "^${_number}\\.${_number}\\.${_number}\\.${_number}$")
  message(FATAL_ERROR "The project's version '${CORVANE_PACKAGE_VERSION}' is not four numbers "
                      "without leading zeros")
endif()

# Changelogs and manual pages are compressed as Debian expects: gzip -9, without name or time
# in the header, so that a rebuild gives the same bytes.
function(_corvane_gzip file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE _failed)
  if(_failed)
    message(FATAL_ERROR "gzip could not compress ${file}")
  endif()
endfunction()

# The documents every Debian package carries (a copyright file and a changelog) and its
# manual pages.
string(TIMESTAMP CORVANE_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP CORVANE_PACKAGE_YEAR "%Y" UTC)
function(_corvane_package_docs package component)
  cmake_parse_arguments(ARG "" "" "MANUALS" ${ARGN})
  set(CORVANE_PACKAGE_NAME ${package})
  set(_folder ${_generated}/${package})
  configure_file(${_packaging}/changelog.in ${_folder}/changelog @ONLY)
  _corvane_gzip(${_folder}/changelog)
  configure_file(${_packaging}/copyright.in ${_folder}/copyright @ONLY)
  install(FILES ${_folder}/copyright ${_folder}/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
  foreach(_manual IN LISTS ARG_MANUALS)
    get_filename_component(_name ${_manual} NAME)
    string(REGEX REPLACE ".*\\." "" _section ${_name})
    configure_file(${_packaging}/${_manual} ${_folder}/${_name} COPYONLY)
    _corvane_gzip(${_folder}/${_name})
    install(FILES ${_folder}/${_name}.gz DESTINATION share/man/man${_section}
            COMPONENT ${component})
  endforeach()
endfunction()

# Installs a program; when the install strips (as cpack does), its .comment section (the
# compiler's name and version) goes too, as Debian's own packages are stripped.
function(_corvane_install_program target destination component)
  install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT ${component})
  if(IS_ABSOLUTE ${destination})
    set(_file "\$ENV{DESTDIR}${destination}/$<TARGET_FILE_NAME:${target}>")
  else()
    set(_file "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>")
  endif()
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"${_file}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT ${component})
endfunction()

set(_components)

if(TARGET Corvane.EXE AND TARGET corvane-update)
  list(APPEND _components launcher)
  _corvane_install_program(Corvane.EXE ${CORVANE_SUITE_DIR} launcher)
  # The launcher reads Corvane.ini beside itself; the administrator edits it in /etc.
  file(MAKE_DIRECTORY ${_generated}/corvane-plexa)
  file(CREATE_LINK /etc/corvane-plexa/Corvane.ini ${_generated}/corvane-plexa/Corvane.ini
       SYMBOLIC)
  install(FILES ${_generated}/corvane-plexa/Corvane.ini DESTINATION ${CORVANE_SUITE_DIR}
          COMPONENT launcher)
  install(FILES ${_packaging}/Corvane.ini DESTINATION /etc/corvane-plexa COMPONENT launcher)
  # corvane-update lives beside the launcher, as in the suite's folder on Windows, so that both
  # write their run log to the same Logs folder there (beside the executable); /usr/bin has a
  # link to it.
  _corvane_install_program(corvane-update ${CORVANE_SUITE_DIR} launcher)
  file(CREATE_LINK ${CORVANE_SUITE_DIR}/corvane-update ${_generated}/corvane-plexa/corvane-update
       SYMBOLIC)
  install(FILES ${_generated}/corvane-plexa/corvane-update DESTINATION bin COMPONENT launcher)
  install(FILES ${_packaging}/corvane-plexa.desktop DESTINATION share/applications
          COMPONENT launcher)
  install(FILES ${PROJECT_SOURCE_DIR}/launcher/resources/Corvane.png
          DESTINATION share/icons/hicolor/64x64/apps RENAME corvane-plexa.png
          COMPONENT launcher)
  _corvane_package_docs(corvane-plexa launcher MANUALS corvane-update.1)
  install(FILES ${_packaging}/corvane-plexa.lintian-overrides DESTINATION share/lintian/overrides
          RENAME corvane-plexa COMPONENT launcher)
endif()

if(TARGET corvane-fileservice)
  list(APPEND _components fileservice)
  _corvane_install_program(corvane-fileservice sbin fileservice)
  pkg_get_variable(_unit_dir systemd systemdsystemunitdir)
  if(NOT _unit_dir)
    set(_unit_dir /lib/systemd/system)
  endif()
  install(FILES ${_packaging}/corvane-fileservice.service DESTINATION ${_unit_dir}
          COMPONENT fileservice)
  install(FILES ${_packaging}/corvane-fileservice.conf DESTINATION /etc/corvane-fileservice
          COMPONENT fileservice)
  _corvane_package_docs(corvane-fileservice fileservice MANUALS corvane-fileservice.8)
  install(FILES ${_packaging}/corvane-fileservice.lintian-overrides
          DESTINATION share/lintian/overrides RENAME corvane-fileservice COMPONENT fileservice)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-plexa)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT ${CORVANE_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${CORVANE_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each program links, found by dpkg-shlibdeps in the packaged executables.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LAUNCHER_PACKAGE_NAME corvane-plexa)
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_SECTION misc)
# Beyond the linked libraries: Qt's X11 platform plugin, loaded at run time, and addgroup
# for the postinst. xdg-email opens the support mail.
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_DEPENDS "adduser, qt6-qpa-plugins")
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_CONTROL_EXTRA
    ${_packaging}/corvane-plexa/conffiles ${_packaging}/corvane-plexa/postinst
    ${_packaging}/corvane-plexa/postrm)
set(CPACK_COMPONENT_LAUNCHER_DESCRIPTION
    "Corvane Plexa launcher for the hospital's workstations
The launcher of the Corvane Plexa hospital-management suite: one window that
shows the suite's modules; a click brings the workstation's copy of the module
and of its shared files up to date from the hospital's server (a shared folder
or the Corvane file service) and starts it.
.
This package also holds corvane-update, which runs one update without the
window, for scripted installs.")

set(CPACK_DEBIAN_FILESERVICE_PACKAGE_NAME corvane-fileservice)
set(CPACK_DEBIAN_FILESERVICE_PACKAGE_SECTION net)
# The unit reads private keys as a member of the group ssl-cert, which that package makes.
set(CPACK_DEBIAN_FILESERVICE_PACKAGE_DEPENDS "ssl-cert")
set(CPACK_DEBIAN_FILESERVICE_PACKAGE_CONTROL_EXTRA
    ${_packaging}/corvane-fileservice/conffiles ${_packaging}/corvane-fileservice/postinst
    ${_packaging}/corvane-fileservice/prerm ${_packaging}/corvane-fileservice/postrm)
set(CPACK_COMPONENT_FILESERVICE_DESCRIPTION
    "Corvane Plexa file service for the hospital's server
Serves the server's copy of the Corvane Plexa suite over HTTP or HTTPS to the
launchers of the workstations, which list it and download what changed.
.
It runs as a systemd service configured in
/etc/corvane-fileservice/corvane-fileservice.conf.")

include(CPack)
