# Extracts the program's user texts into a message template.
#
#   cmake -DSOURCE_DIR=<source tree> -DPOT=<template to write>
#         [-DXGETTEXT=<xgettext>] [-DPACKAGE_VERSION=<version>]
#         [-DFORCE=ON] -P po/UpdatePot.cmake
#
# Every "_" literal of src/ (the macro of src/app/Translate.h) goes into the
# template. An existing template is rewritten only when something but its
# creation date would change, so running this twice leaves the file alone.
# The build's "pot" target runs it on po/OrvaneDrv.pot; the catalog check of
# the test suite runs it into a temporary file and compares.

cmake_minimum_required(VERSION 3.16)

foreach(var SOURCE_DIR POT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "UpdatePot.cmake: -D${var}=... is required")
  endif()
endforeach()
if(NOT XGETTEXT)
  find_program(XGETTEXT xgettext)
  if(NOT XGETTEXT)
    message(FATAL_ERROR "UpdatePot.cmake: xgettext not found (Debian package gettext)")
  endif()
endif()
if(NOT PACKAGE_VERSION)
  set(PACKAGE_VERSION 1.0.0)
endif()

# Relative names in a fixed order, so that the template's references do not
# depend on where the tree was checked out.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h)
list(SORT sources)

get_filename_component(pot_dir ${POT} DIRECTORY)
get_filename_component(pot_name ${POT} NAME)
set(fresh ${pot_dir}/.${pot_name}.new)

execute_process(
  COMMAND ${XGETTEXT}
    --keyword=_ --keyword=wxTRANSLATE --keyword=wxPLURAL:1,2
    --from-code=UTF-8 --add-comments=TRANSLATORS --language=C++
    --add-location=file --sort-by-file
    --package-name=orvane-sidekey --package-version=${PACKAGE_VERSION}
    --copyright-holder=Orvane
    --msgid-bugs-address=drivers@orvane.com
    --output=${fresh}
    ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  file(REMOVE ${fresh})
  message(FATAL_ERROR "xgettext failed (${status}):\n${errors}")
endif()
if(errors)
  message(WARNING "xgettext: ${errors}")
endif()

# The template's title line names this program rather than xgettext's
# placeholder.
file(READ ${fresh} text)
string(REPLACE "# SOME DESCRIPTIVE TITLE." "# Message template of orvane-sidekey (软快捷设置程序)." text "${text}")
string(REPLACE "# This file is distributed under the same license as the PACKAGE package."
               "# This file is distributed under the same license as the orvane-sidekey package."
               text "${text}")

set(changed TRUE)
if(EXISTS ${POT} AND NOT FORCE)
  file(READ ${POT} old)
  set(date_line "\"POT-Creation-Date: [^\"]*\"")
  string(REGEX REPLACE "${date_line}" "" old_undated "${old}")
  string(REGEX REPLACE "${date_line}" "" new_undated "${text}")
  if(old_undated STREQUAL new_undated)
    set(changed FALSE)
  endif()
endif()

if(changed)
  file(WRITE ${POT} "${text}")
  message(STATUS "Wrote ${POT}")
else()
  message(STATUS "${POT} is up to date")
endif()
file(REMOVE ${fresh})
