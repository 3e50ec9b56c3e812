# Packages made by CPack from the install rules: on Linux `cpack` in the build tree gives the
# Debian package of smi2txt; the 32-bit Windows build makes the release zip as part of every
# build (velmora.exe, smi2txt.exe, README.txt and LICENSE.txt, with no folder around them).
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
  # The program and the compressed manual page; the plain page is for `cmake --install`.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL program deb_manual)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEBIAN_PACKAGE_NAME smi2txt)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # Depends: from the libraries smi2txt links
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
