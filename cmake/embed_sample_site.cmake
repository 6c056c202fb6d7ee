# Writes the sample site of the user database tests as a C++ header: each
# file of tests/fixtures/ioftpd-site named in FILES, byte for byte (CR LF
# line ends kept), with its path below the server folder.
#   cmake -DSITE=<folder> -DFILES=<a,b,...> -DOUT=<header> -P embed_sample_site.cmake
foreach(required SITE FILES OUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_sample_site.cmake needs -D${required}=...")
  endif()
endforeach()

string(REPLACE "," ";" FILES "${FILES}")
set(entries "")
foreach(relative ${FILES})
  if(NOT EXISTS ${SITE}/${relative})
    message(FATAL_ERROR "the sample site has no ${relative}")
  endif()
  file(READ ${SITE}/${relative} bytes HEX)
  # Every byte as \xHH: any byte is kept, and the next \ ends each escape.
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${bytes}")
  string(REPLACE "/" "\\\\" server_path "${relative}")
  string(APPEND entries "    {\"${server_path}\", \"${escaped}\"},\n")
endforeach()

file(WRITE ${OUT}.new
"// Generated from tests/fixtures/ioftpd-site by cmake/embed_sample_site.cmake.
// The sample ioFTPD site used by the user database tests: the id tables, the
// server user list and the six user files, byte for byte as the server writes
// them (CR LF line ends, every keyword of a 7.x user file).
#pragma once

namespace quarvel {
namespace sample_site {

struct File {
  const char* path;  // below the server folder
  const char* text;
};

inline const File kFiles[] = {
${entries}};

}  // namespace sample_site
}  // namespace quarvel
")
# Only a changed header makes its users compile again.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.new ${OUT})
file(REMOVE ${OUT}.new)
