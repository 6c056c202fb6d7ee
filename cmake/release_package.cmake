# The release package: `cpack` in a build folder writes
#   quarvel-<version>-win64.zip or quarvel-<version>-win32.zip (Windows x64 / x86)
#   quarvel-<version>-linux-x86_64.tar.gz                         (Linux)
# holding, in one folder of the same name, the program, the FTP client library
# with its header (and import library on Windows), the sample configuration,
# the guide, the license, CHANGES, and the sitebot script for eggdrop with its
# guide in sitebot/ (on Windows, the text files with CR LF). scripts/package.sh
# makes all three.

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
# Text files, installed into `destination`. Windows editors and Notepad
# expect CR LF: a Windows package gets copies with every line so ended, made
# again whenever a source changes.
function(quarvel_install_text destination)
  foreach(source ${ARGN})
    if(WIN32)
      get_filename_component(name ${source} NAME)
      file(READ ${source} text)
      string(REPLACE "\r\n" "\n" text "${text}")
      string(REPLACE "\n" "\r\n" text "${text}")
      set(copy ${CMAKE_BINARY_DIR}/crlf/${destination}/${name})
      file(WRITE ${copy} "${text}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
      install(FILES ${copy} DESTINATION ${destination})
    else()
      install(FILES ${source} DESTINATION ${destination})
    endif()
  endforeach()
endfunction()
quarvel_install_text(. ${CMAKE_SOURCE_DIR}/ftp/ftp_api.h ${CMAKE_SOURCE_DIR}/quarvel.conf.sample
                     ${QUARVEL_GUIDE} ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGES)
quarvel_install_text(sitebot ${CMAKE_SOURCE_DIR}/sitebot/quarvel.tcl
                     ${CMAKE_SOURCE_DIR}/docs/SITEBOT.md)

set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quarvel developers")
set(CPACK_PACKAGE_FILE_NAME quarvel-${PROJECT_VERSION}-${QUARVEL_PACKAGE_PLATFORM})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
