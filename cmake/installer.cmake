# The Windows installer of each Windows build, velmora-VERSION-x64.msi or -x86.msi beside the
# release zip, made by wixl (CPack's WiX generator needs Windows).

find_program(WIXL_PROGRAM wixl REQUIRED)

# velmora_add_msi(TARGET VERSION OUTPUT): the installer of this build's programs
# (resources/velmora.wxs) as OUTPUT, of product version VERSION (three numbers), made by TARGET
# whenever what it holds changes. The tests build one of a later version to upgrade to.
function(velmora_add_msi target version output)
  # One product code for each version and architecture, the same at every build.
  string(UUID product_code NAMESPACE 3F1D8C52-6A0B-4B7E-9C2D-84E5A1F07B36
         NAME "velmora-${version}-${MSI_ARCH}" TYPE SHA1 UPPER)
  set(wxs ${PROJECT_SOURCE_DIR}/resources/velmora.wxs)
  set(icon ${CMAKE_BINARY_DIR}/resources/icons/velmora_large.ico)
  set(readme ${PROJECT_SOURCE_DIR}/shell/README.txt)
  set(license ${PROJECT_SOURCE_DIR}/LICENSE)
  # wixl takes the packed files only by paths relative to its working folder.
  set(base ${CMAKE_BINARY_DIR})
  foreach(file IN ITEMS icon readme license)
    file(RELATIVE_PATH relative_${file} ${base} ${${file}})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${WIXL_PROGRAM} --arch ${MSI_ARCH} -D Version=${version} -D Arch=${MSI_ARCH}
            -D ProductCode=${product_code}
            -D VelmoraExe=$<PATH:RELATIVE_PATH,$<TARGET_FILE:velmora>,${base}>
            -D Smi2txtExe=$<PATH:RELATIVE_PATH,$<TARGET_FILE:smi2txt>,${base}>
            -D ReadmeTxt=${relative_readme} -D LicenseTxt=${relative_license}
            -D IconFile=${relative_icon} -o ${output} ${wxs}
    DEPENDS ${wxs} velmora smi2txt velmora_icons ${icon} ${readme} ${license}
    WORKING_DIRECTORY ${base}
    COMMENT "Building the installer ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# Windows Installer versions have three numbers: 1.1 is 1.1.0.
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(MSI_VERSION ${PROJECT_VERSION}.0)
else()
  set(MSI_VERSION ${PROJECT_VERSION})
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MSI_ARCH x86)
else()
  set(MSI_ARCH x64)
endif()
set(MSI_FILE ${CMAKE_BINARY_DIR}/velmora-${PROJECT_VERSION}-${MSI_ARCH}.msi)
velmora_add_msi(velmora_installer ${MSI_VERSION} ${MSI_FILE})
