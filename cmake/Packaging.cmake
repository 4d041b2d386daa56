# Installation and the Debian package.
#
#   cmake --install build [--prefix P]     (DESTDIR=... honoured)
#   cmake --build build --target package   (or: cd build && cpack -G DEB)
#   cmake --install build --component board-sim   (the stand-in service only)
#
# What is installed (component "sidekey", the default install and the .deb):
#
#   <prefix>/bin/orvane-sidekey
#   /usr/share/OrvaneDrv/QMLT/{Config/config.xml,Res/,LANG/}   the working
#       directory, always at this absolute place: the program makes it its
#       working directory whatever the prefix
#   <prefix>/share/applications/orvane-sidekey.desktop
#   <prefix>/share/icons/hicolor/48x48/apps/orvane-sidekey.png
#   <prefix>/share/doc/orvane-sidekey/{copyright,changelog.gz}
#   <prefix>/share/man/man1/orvane-sidekey.1.gz
#   <prefix>/share/lintian/overrides/orvane-sidekey
#
# orvane-board-sim is its own component "board-sim", left out of the default
# install and out of the package.

# /usr unless the user chose a prefix on the first configure.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install path prefix" FORCE)
endif()
include(GNUInstallDirs)

# The working directory compiled into the program (src/app/SideKeyApp.cpp),
# read again whenever that file changes.
set(SIDEKEY_WORK_DIR /usr/share/OrvaneDrv/QMLT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/src/app/SideKeyApp.cpp)
file(STRINGS ${CMAKE_SOURCE_DIR}/src/app/SideKeyApp.cpp work_dir_line
     REGEX "SIDEKEY_WORK_DIR = \"[^\"]+\"")
if(work_dir_line)
  string(REGEX REPLACE ".*SIDEKEY_WORK_DIR = \"([^\"]+)\".*" "\\1" compiled_work_dir
         "${work_dir_line}")
  if(NOT compiled_work_dir STREQUAL SIDEKEY_WORK_DIR)
    message(WARNING "src/app/SideKeyApp.cpp uses the working directory ${compiled_work_dir}; "
                    "the working-directory tree is installed there.")
    set(SIDEKEY_WORK_DIR ${compiled_work_dir})
  endif()
else()
  message(WARNING "SIDEKEY_WORK_DIR not found in src/app/SideKeyApp.cpp; "
                  "installing the working-directory tree in ${SIDEKEY_WORK_DIR}")
endif()

set(SIDEKEY_MAINTAINER "Orvane Drivers <drivers@orvane.com>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")

set(share_dir ${CMAKE_SOURCE_DIR}/install/share)
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(data_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(dir_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE
                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# ----------------------------------------------------------------------------
# generated files: the Debian changelog and the conffiles list
# ----------------------------------------------------------------------------

find_program(GZIP_EXECUTABLE gzip)
if(NOT GZIP_EXECUTABLE)
  message(FATAL_ERROR "gzip not found")
endif()
configure_file(${share_dir}/doc/changelog.in ${package_dir}/changelog @ONLY)
configure_file(${share_dir}/man/orvane-sidekey.1 ${package_dir}/orvane-sidekey.1 COPYONLY)
# -n: no name or time stamp in the header, so the same bytes every build.
set(compressed)
foreach(name changelog orvane-sidekey.1)
  add_custom_command(OUTPUT ${package_dir}/${name}.gz
    COMMAND ${GZIP_EXECUTABLE} -9 -n -f -k ${package_dir}/${name}
    DEPENDS ${package_dir}/${name}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND compressed ${package_dir}/${name}.gz)
endforeach()
add_custom_target(package_docs ALL DEPENDS ${compressed})

# The sample configuration is the user's once installed: dpkg keeps a changed
# copy on upgrade instead of overwriting it.
set(SIDEKEY_CONFFILES ${SIDEKEY_WORK_DIR}/Config/config.xml)
file(WRITE ${package_dir}/control/conffiles "${SIDEKEY_CONFFILES}\n")

# ----------------------------------------------------------------------------
# install rules
# ----------------------------------------------------------------------------

install(TARGETS orvane-sidekey
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sidekey)

# The staged tree of the qmlt and translations targets, as the program reads it.
install(FILES ${QMLT_DIR}/Config/config.xml
  DESTINATION ${SIDEKEY_WORK_DIR}/Config
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)
install(DIRECTORY ${QMLT_DIR}/Res ${QMLT_DIR}/LANG
  DESTINATION ${SIDEKEY_WORK_DIR}
  FILE_PERMISSIONS ${data_permissions}
  DIRECTORY_PERMISSIONS ${dir_permissions}
  COMPONENT sidekey)

install(FILES ${share_dir}/applications/orvane-sidekey.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)
# The 48x48 icon is Res/Sidekey.ico (an XPM drawn by icongen) as PNG; the
# "desktop-icon" target below redraws it.
install(FILES ${share_dir}/icons/hicolor/48x48/apps/orvane-sidekey.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)
install(FILES ${share_dir}/doc/copyright ${package_dir}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane-sidekey
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)
install(FILES ${package_dir}/orvane-sidekey.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)
install(FILES ${share_dir}/lintian/orvane-sidekey
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  PERMISSIONS ${data_permissions}
  COMPONENT sidekey)

install(TARGETS orvane-board-sim
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT board-sim EXCLUDE_FROM_ALL)

# ----------------------------------------------------------------------------
# the desktop icon, redrawn from Res/Sidekey.ico (needs ImageMagick)
# ----------------------------------------------------------------------------

find_program(IMAGEMAGICK_CONVERT NAMES convert PATHS /usr/bin NO_DEFAULT_PATH)
if(IMAGEMAGICK_CONVERT)
  add_custom_target(desktop-icon
    COMMAND ${IMAGEMAGICK_CONVERT} ${QMLT_DIR}/Res/Sidekey.ico -strip
            -define png:exclude-chunks=date,time
            PNG32:${share_dir}/icons/hicolor/48x48/apps/orvane-sidekey.png
    DEPENDS qmlt
    COMMENT "Redrawing install/share/icons/hicolor/48x48/apps/orvane-sidekey.png"
    VERBATIM)
endif()

# ----------------------------------------------------------------------------
# CPack: orvane-sidekey_<version>_<arch>.deb
# ----------------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-sidekey)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT ${SIDEKEY_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "soft shortcut key settings for Orvane interactive whiteboards")
set(CPACK_PACKAGE_DESCRIPTION
"Part of the Orvane interactive-whiteboard driver package. The utility
switches the whiteboard's printed soft shortcut keys on or off, chooses what
pen-tray key 4 does on boards that have one, and runs key matching: a
full-screen window shows the shortcut icons and moves on each time the
corresponding button on the board is pressed.

It talks to the board through the driver package's local board service and
keeps its settings in /usr/share/OrvaneDrv/QMLT/Config/config.xml. Its texts
are in Chinese and English.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SIDEKEY_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE http://www.orvane.com)
# Depends from the shared libraries the binary needs (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_dir}/control/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
