# Message catalogs.
#
# po/OrvaneDrv.pot is the template of every "_" text in src/; po/<lang>.po
# are the catalogs (en_US, zh_CN, and any that is added). The build compiles
# each with "msgfmt --check" into the working-directory tree:
#
#   QMLT/LANG/<lang>/LC_MESSAGES/OrvaneDrv.mo   catalog "OrvaneDrv" for <lang>
#   QMLT/LANG/en_US/OrvaneDrv.mo                catalog "en_US/OrvaneDrv", the
#                                               fallback for every language
#                                               without a catalog of its own
#
# The program adds the lookup prefix "LANG"; for a language such as zh_CN the
# toolkit tries LANG/zh_CN.UTF-8/LC_MESSAGES, LANG/, LANG/zh_CN.UTF-8, then the
# same with zh_CN and with zh. That is why no catalog lies in LANG/ itself: it
# would be found for every language.
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
