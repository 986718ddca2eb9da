# The vendor's settings for downloads that survive a bad line: more tries of a
# file on each host, and mirror hosts after the vendor's own. Both rest on the
# signed list: a resumed, kept or mirrored file is safe only because the
# program checks every byte of it against the vendor's key.
set(WEBSETUP_RETRIES 0 CACHE STRING "More tries of each file on each host after a failure (needs WEBSETUP_TRUST_KEY)")
set(WEBSETUP_MIRRORS "" CACHE STRING "Mirror hosts after the vendor's own, in order, e.g. \"dl2.example.cz;dl3.example.cz\" (needs WEBSETUP_TRUST_KEY)")

if(NOT WEBSETUP_RETRIES MATCHES "^[0-9]+$" OR WEBSETUP_RETRIES GREATER 20)
  message(FATAL_ERROR "WEBSETUP_RETRIES must be a whole number from 0 to 20, not '${WEBSETUP_RETRIES}'")
endif()
foreach(mirror IN LISTS WEBSETUP_MIRRORS)
  if(NOT mirror MATCHES "^[A-Za-z0-9.-]+(:[0-9]+)?$")
    message(FATAL_ERROR "WEBSETUP_MIRRORS: '${mirror}' is not a host name")
  endif()
endforeach()
if((WEBSETUP_RETRIES GREATER 0 OR WEBSETUP_MIRRORS) AND NOT WEBSETUP_TRUST_KEY)
  message(FATAL_ERROR "WEBSETUP_RETRIES and WEBSETUP_MIRRORS need WEBSETUP_TRUST_KEY: a resumed, kept or "
                      "mirrored file is safe only because the program checks it against the vendor's signed list")
endif()

# websetup_resilience(TARGET RETRIES MIRRORS): a library whose VendorRetries()
# and VendorMirrors() give a program these settings.
function(websetup_resilience target retries mirrors)
  set(WEBSETUP_RETRIES_VALUE "${retries}")
  set(WEBSETUP_MIRRORS_VALUE "${mirrors}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/Resilience.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp @ONLY)
  add_library(${target} STATIC ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  target_link_libraries(${target} PRIVATE websetup_warnings)
endfunction()
