# The release package: `cpack` in a build folder writes
#   quarvel-<version>-win64.zip or quarvel-<version>-win32.zip (Windows x64 / x86)
#   quarvel-<version>-linux-x86_64.tar.gz                         (Linux)
# holding, in one folder of the same name, the program, the FTP client library
# with its header (and import library on Windows), the sample configuration,
# the guide and the license, and the sitebot script for eggdrop with its guide
# in sitebot/. scripts/package.sh makes all three.

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARVEL_PACKAGE_PLATFORM win64)
  else()
    set(QUARVEL_PACKAGE_PLATFORM win32)
  endif()
  set(QUARVEL_GUIDE ${CMAKE_SOURCE_DIR}/docs/INSTALL-WINDOWS.md)
  set(CPACK_GENERATOR ZIP)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" QUARVEL_PACKAGE_PLATFORM)
  set(QUARVEL_GUIDE ${CMAKE_SOURCE_DIR}/README.md)
  set(CPACK_GENERATOR TGZ)
endif()

# Everything at the top of the package folder: the operator copies files
# from there into the server's folders.
install(TARGETS quarvel RUNTIME DESTINATION .)
install(TARGETS quarvelftp RUNTIME DESTINATION . LIBRARY DESTINATION . ARCHIVE DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/ftp/ftp_api.h DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/quarvel.conf.sample ${QUARVEL_GUIDE} ${CMAKE_SOURCE_DIR}/LICENSE
        DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/sitebot/quarvel.tcl ${CMAKE_SOURCE_DIR}/docs/SITEBOT.md
        DESTINATION sitebot)

set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quarvel developers")
set(CPACK_PACKAGE_FILE_NAME quarvel-${PROJECT_VERSION}-${QUARVEL_PACKAGE_PLATFORM})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
