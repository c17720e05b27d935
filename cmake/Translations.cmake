# Translation catalogues: `pot` regenerates po/akstarter.pot and po/dialogs.pot from
# the sources; every po/<domain>/<lang>.po is compiled into
# <build>/locale/<lang>/LC_MESSAGES/<domain>.mo and installed under share/locale.
set(AK_LOCALE_BUILD_DIR ${PROJECT_BINARY_DIR}/locale)

find_program(XGETTEXT_EXECUTABLE xgettext REQUIRED)
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)

file(GLOB_RECURSE ak_pot_sources CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
  ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
set(ak_xgettext ${XGETTEXT_EXECUTABLE} --from-code=UTF-8 --language=C++ --sort-by-file
  --package-name=AkStarter --package-version=${PROJECT_VERSION} --add-comments=TRANSLATORS:)
add_custom_target(pot
  COMMAND ${ak_xgettext} -k -kTr -kTrNoop -kTrN:1,2 -o po/akstarter.pot ${ak_pot_sources}
  COMMAND ${ak_xgettext} -k -kDTr -kDTrNoop -o po/dialogs.pot ${ak_pot_sources}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Extracting texts into po/akstarter.pot and po/dialogs.pot")

set(ak_mo_files)
foreach(domain akstarter dialogs)
  file(GLOB ak_po_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/po/${domain}/*.po)
  foreach(po IN LISTS ak_po_files)
    get_filename_component(lang ${po} NAME_WE)
    set(mo ${AK_LOCALE_BUILD_DIR}/${lang}/LC_MESSAGES/${domain}.mo)
    add_custom_command(OUTPUT ${mo}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${AK_LOCALE_BUILD_DIR}/${lang}/LC_MESSAGES
      COMMAND ${MSGFMT_EXECUTABLE} --check -o ${mo} ${po}
      DEPENDS ${po}
      VERBATIM)
    list(APPEND ak_mo_files ${mo})
    install(FILES ${mo} DESTINATION share/locale/${lang}/LC_MESSAGES)
  endforeach()
endforeach()
add_custom_target(translations ALL DEPENDS ${ak_mo_files})
