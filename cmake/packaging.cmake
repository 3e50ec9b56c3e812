# Packages made by CPack from the install rules: on Linux `cpack` in the build tree gives the
# Debian package of smi2txt; the 32-bit Windows build makes the release zip as part of every
# build (velmora.exe, smi2txt.exe, README.txt and LICENSE.txt, with no folder around them);
# both Windows builds make an installer of the same files (cmake/installer.cmake).
set(CPACK_PACKAGE_VENDOR "Velmora project")
set(CPACK_PACKAGE_CONTACT "Velmora project <velmora@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extract the text of SAMI subtitle files")
# Kept in lines of Debian's usual width: each line of it becomes one line of the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "smi2txt reads SAMI subtitles (.smi) and writes their text, every tag removed\n"
  "and character entities such as &amp; and &nbsp; written as their characters,\n"
  "or with --sync one line per subtitle opened by its start time. The text keeps\n"
  "the bytes, and so the encoding, of the subtitle (CP949, EUC-KR, UTF-8,\n"
  "Latin-1); UTF-16 subtitles give UTF-16 text. An existing output file is\n"
  "replaced only when the whole conversion succeeded.")
set(CPACK_SOURCE_GENERATOR "") # sources are shared through the repository, not as archives

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-win32)
    set(RELEASE_ZIP ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)
  else()
    set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # Named .txt so that Windows opens it with a double click.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  # The program, the compressed manual page, the copyright file and the changelog; the plain
  # page is for `cmake --install`.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL program deb_manual deb_doc)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEBIAN_PACKAGE_NAME smi2txt)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # Depends: from the libraries smi2txt links
  # and uchardet, which smi2txt opens when it guesses an encoding rather than at start.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libuchardet0")
  # Folders 0755 whatever the umask of the one who packs.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

  # The copyright file in Debian's machine-readable form, made from LICENSE so that the licence
  # is written once: its holder, then its text with each line indented and empty lines as " .".
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE LICENSE_TEXT)
  if(NOT LICENSE_TEXT MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
    message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEAR HOLDER\" before its text")
  endif()
  set(LICENSE_HOLDER ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" LICENSE_TEXT)
  string(REPLACE "\n" "\n " LICENSE_TEXT " ${LICENSE_TEXT}")
  string(REPLACE "\n \n" "\n .\n" LICENSE_TEXT "${LICENSE_TEXT}")
  set(DEB_DOC_DIR ${CMAKE_BINARY_DIR}/deb_doc)
  file(CONFIGURE OUTPUT ${DEB_DOC_DIR}/copyright @ONLY CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Velmora

Files: *
Copyright: @LICENSE_HOLDER@
License: MIT
@LICENSE_TEXT@
]])

  # The changelog is debian/changelog, the one place the versions are described; compressed
  # without name and time like the manual page. A native package calls it changelog.gz.
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_command(
    OUTPUT ${DEB_DOC_DIR}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${PROJECT_SOURCE_DIR}/debian/changelog
            > ${DEB_DOC_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/debian/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(smi2txt_changelog ALL DEPENDS ${DEB_DOC_DIR}/changelog.gz)
  install(FILES ${DEB_DOC_DIR}/copyright ${DEB_DOC_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/smi2txt COMPONENT deb_doc EXCLUDE_FROM_ALL)
endif()

include(CPack)

# The release zip is remade whenever a program or the README changes, by the normal build.
if(DEFINED RELEASE_ZIP)
  add_custom_command(
    OUTPUT ${RELEASE_ZIP}
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    DEPENDS velmora smi2txt ${PROJECT_SOURCE_DIR}/shell/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
            ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Packing ${RELEASE_ZIP}"
    VERBATIM)
  add_custom_target(velmora_release ALL DEPENDS ${RELEASE_ZIP})
endif()

