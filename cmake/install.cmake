# Install rules: the libraries, the public headers, the tool, the built-in
# catalogue as a file, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(TAVJIT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/tavjit)
set(TAVJIT_INSTALL_CATALOGUE ${CMAKE_INSTALL_DATADIR}/tavjit/default.tavcat)

# Two export sets: the shared library hides libxml2 and utf8proc, so a consumer of
# it needs neither; only the static one makes the package look for them.
install(TARGETS tavjit EXPORT tavjitTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tavjit_static EXPORT tavjitStaticTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tavjit
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
if(TARGET tavjit-tool)
  install(TARGETS tavjit-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${TAVJIT_CATALOGUE_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/tavjit)

install(EXPORT tavjitTargets NAMESPACE tavjit:: DESTINATION ${TAVJIT_INSTALL_CMAKEDIR})
install(EXPORT tavjitStaticTargets NAMESPACE tavjit:: DESTINATION ${TAVJIT_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tavjitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/tavjitConfig.cmake
  INSTALL_DESTINATION ${TAVJIT_INSTALL_CMAKEDIR}
  PATH_VARS TAVJIT_INSTALL_CATALOGUE)
# The soname carries the major version, so the package promises the same.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/tavjitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/tavjitConfig.cmake
  ${PROJECT_BINARY_DIR}/package/tavjitConfigVersion.cmake
  DESTINATION ${TAVJIT_INSTALL_CMAKEDIR})

# The .pc file names its prefix relative to itself, so the tree works under
# whatever --prefix it is installed with.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TAVJIT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(TAVJIT_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(dir LIBDIR INCLUDEDIR DATADIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(TAVJIT_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(TAVJIT_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
# pkg-config cannot make --static pick an archive over the shared library
# beside it, so the static library has a package of its own.
foreach(pc tavjit tavjit-static)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
