# Message catalogs.
#
# po/OrvaneDrv.pot is the template of every "_" text in src/; po/<lang>.po
# are the catalogs (en_US, zh_CN, and any that is added). The build compiles
# each with "msgfmt --check" into the working-directory tree:
#
#   QMLT/LANG/<lang>/LC_MESSAGES/OrvaneDrv.mo   catalog "OrvaneDrv" for <lang>
#   QMLT/LANG/en_US/OrvaneDrv.mo                the English catalog again,
#                                               where the program's fallback
#                                               name "en_US/OrvaneDrv" points
#
# How wxWidgets 3.2 finds them (seen with strace on 3.2.2): for the prefix
# "LANG" it tries LANG/<X>/LC_MESSAGES/<catalog>.mo, then LANG/<X>/<catalog>.mo,
# for X = <lang>.UTF-8 (the system encoding appended), <lang>, <base language>
# (zh_CN.UTF-8, zh_CN, zh), then the same under its standard folders. It never
# looks in LANG/ itself, so the catalog named "en_US/OrvaneDrv" is found only
# as LANG/<X>/en_US/OrvaneDrv.mo, which no file here is. What gives every other
# language its English is the program's second locale set-up, for English
# (U.S.): it finds LANG/en_US/LC_MESSAGES/OrvaneDrv.mo, or LANG/en_US/
# OrvaneDrv.mo when that is the only English file (a locale that is not
# installed counts as an unknown language and takes the same way). The file
# LANG/en_US/OrvaneDrv.mo is kept for the catalog name the program asks for.
#
# Targets:
#   pot         re-extract po/OrvaneDrv.pot from the sources
#   update-po   merge the template into every po/<lang>.po (msgmerge)
#   translations (part of ALL) the compiled catalogs in ${QMLT_DIR}/LANG

find_program(MSGFMT_EXECUTABLE msgfmt)
find_program(MSGMERGE_EXECUTABLE msgmerge)
find_program(XGETTEXT_EXECUTABLE xgettext)
if(NOT MSGFMT_EXECUTABLE)
  message(FATAL_ERROR "msgfmt not found: install gettext (scripts/install-deps)")
endif()

set(SIDEKEY_CATALOG OrvaneDrv)
# The language of catalog "en_US/OrvaneDrv" in src/app/SideKeyApp.cpp.
set(SIDEKEY_FALLBACK_LANGUAGE en_US)
set(SIDEKEY_POT ${CMAKE_SOURCE_DIR}/po/${SIDEKEY_CATALOG}.pot)

# Every po/<lang>.po is a catalog: adding a language is adding its file.
file(GLOB SIDEKEY_PO_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
list(SORT SIDEKEY_PO_FILES)

set(catalog_outputs)
set(SIDEKEY_LANGUAGES)
foreach(po ${SIDEKEY_PO_FILES})
  get_filename_component(lang ${po} NAME_WE)
  list(APPEND SIDEKEY_LANGUAGES ${lang})
  set(dir ${QMLT_DIR}/LANG/${lang}/LC_MESSAGES)
  set(mo ${dir}/${SIDEKEY_CATALOG}.mo)
  set(commands
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${MSGFMT_EXECUTABLE} --check -o ${mo} ${po})
  set(outputs ${mo})
  if(lang STREQUAL SIDEKEY_FALLBACK_LANGUAGE)
    set(fallback ${QMLT_DIR}/LANG/${lang}/${SIDEKEY_CATALOG}.mo)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy ${mo} ${fallback})
    list(APPEND outputs ${fallback})
  endif()
  add_custom_command(OUTPUT ${outputs}
    ${commands}
    DEPENDS ${po}
    COMMENT "Compiling the ${lang} catalog"
    VERBATIM)
  list(APPEND catalog_outputs ${outputs})
endforeach()

if(NOT SIDEKEY_FALLBACK_LANGUAGE IN_LIST SIDEKEY_LANGUAGES)
  message(FATAL_ERROR "po/${SIDEKEY_FALLBACK_LANGUAGE}.po is missing: it is the fallback catalog")
endif()

add_custom_target(translations ALL DEPENDS ${catalog_outputs})
# The catalogs go into the tree that qmlt stages.
add_dependencies(translations qmlt)

if(XGETTEXT_EXECUTABLE)
  add_custom_target(pot
    COMMAND ${CMAKE_COMMAND}
      -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
      -DPOT=${SIDEKEY_POT}
      -DXGETTEXT=${XGETTEXT_EXECUTABLE}
      -DPACKAGE_VERSION=${PROJECT_VERSION}
      -P ${CMAKE_SOURCE_DIR}/po/UpdatePot.cmake
    COMMENT "Extracting the texts of src/ into po/${SIDEKEY_CATALOG}.pot"
    VERBATIM)
endif()

if(MSGMERGE_EXECUTABLE)
  set(merge_commands)
  foreach(po ${SIDEKEY_PO_FILES})
    list(APPEND merge_commands
      COMMAND ${MSGMERGE_EXECUTABLE} --quiet --update --backup=none --add-location=file
              ${po} ${SIDEKEY_POT})
  endforeach()
  add_custom_target(update-po
    ${merge_commands}
    COMMENT "Merging po/${SIDEKEY_CATALOG}.pot into the catalogs of po/"
    VERBATIM)
endif()
