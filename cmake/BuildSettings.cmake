# The vendor's settings, and the one way they reach a program: its public key
# (it then starts only what the vendor's signed list vouches for), HTTPS,
# more tries of a file and mirror hosts. Both of the last rest on the signed
# list: a resumed, kept or mirrored file is safe only because the program
# checks every byte of it against the key.
#
# websetup_build_settings(TARGET [KEY PEM] [HTTPS ON|OFF] [RETRIES N] [MIRRORS "h2;h3:8080"]):
# checks the settings and makes TARGET, a library whose ApplyBuildSettings()
# puts them into a program's TPlatform, from TARGET.cpp. The key file must
# hold one RSA public key and nothing else; what is built in is the key as
# openssl writes it again, never the file's own text. Configuring prints the
# key's SHA-256 fingerprint (of its DER form), for the vendor to compare with
# its own. TARGET.txt beside it records what went in, for scripts/release.sh.
# Run as a script (cmake -DOUT=DIR -DWEBSETUP_...=... -P BuildSettings.cmake)
# it checks and writes DIR/build_settings.{cpp,txt} alone.
# websetup_test_trust_key(VAR): a throw-away key pair for the tests, made once
# per build folder in trust-test/; VAR names its public half ("" without openssl).
find_program(WEBSETUP_OPENSSL openssl)

function(_websetup_openssl out)
  execute_process(COMMAND ${WEBSETUP_OPENSSL} ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE errors
                  RESULT_VARIABLE failed INPUT_FILE /dev/null)
  string(STRIP "${errors}" errors)
  set(${out} "${text}" PARENT_SCOPE)
  set(${out}_FAILED "${failed}" PARENT_SCOPE)
  set(${out}_ERRORS "${errors}" PARENT_SCOPE)
endfunction()

# Checks that the file pem holds one RSA public key of 2048 bits or more and
# nothing else; writes that key again, as openssl writes it, to canonical and
# sets fingerprint_var and bits_var.
function(_websetup_check_public_key pem canonical fingerprint_var bits_var)
  set(why "WEBSETUP_TRUST_KEY: ${pem}")
  set(public_half "Give the public half alone: openssl pkey -in private-key.pem -pubout -out public-key.pem")
  file(READ "${pem}" text)
  string(REGEX MATCHALL "-----BEGIN [^-\n]*-----" blocks "${text}")
  foreach(block IN LISTS blocks)
    if(block MATCHES "PRIVATE KEY")
      message(FATAL_ERROR "${why} holds a private key (${block}). Built in, it would ship your signing key "
                          "inside every copy of the program. ${public_half}")
    endif()
  endforeach()
  foreach(block IN LISTS blocks)
    if(block MATCHES "CERTIFICATE")
      message(FATAL_ERROR "${why} holds a certificate (${block}); the program trusts a bare public key. "
                          "Take the key out of it: openssl x509 -in ${pem} -pubkey -noout -out public-key.pem")
    endif()
  endforeach()
  list(LENGTH blocks count)
  if(count EQUAL 0)
    message(FATAL_ERROR "${why} holds no PEM public key (-----BEGIN PUBLIC KEY-----). ${public_half}")
  endif()
  if(count GREATER 1)
    list(JOIN blocks " " blocks)
    message(FATAL_ERROR "${why} holds ${count} PEM blocks (${blocks}), not one public key: the program "
                        "trusts exactly one key. Keep only your list-signing key's public half.")
  endif()
  if(NOT blocks STREQUAL "-----BEGIN PUBLIC KEY-----")
    message(FATAL_ERROR "${why} holds ${blocks}, not -----BEGIN PUBLIC KEY-----. "
                        "Write it as a public key: openssl pkey -pubin -in ${pem} -out public-key.pem "
                        "(for -----BEGIN RSA PUBLIC KEY-----: openssl rsa -RSAPublicKey_in -in ${pem} -pubout -out public-key.pem)")
  endif()
  string(REGEX REPLACE "-----BEGIN PUBLIC KEY-----[^-]*-----END PUBLIC KEY-----" "" outside "${text}")
  if(NOT outside MATCHES "^[ \t\r\n]*$")
    message(FATAL_ERROR "${why} holds more than its public key (text outside the PUBLIC KEY block, or a "
                        "block without its END line). Write the key alone: openssl pkey -pubin -in ${pem} -out public-key.pem")
  endif()

  _websetup_openssl(key pkey -pubin -in "${pem}" -out "${canonical}")
  if(key_FAILED)
    message(FATAL_ERROR "${why}: openssl cannot read it as a public key: ${key_ERRORS}")
  endif()
  _websetup_openssl(parsed asn1parse -in "${canonical}")
  set(algorithm "?")
  if(parsed MATCHES "OBJECT +:([A-Za-z0-9-]+)")
    set(algorithm ${CMAKE_MATCH_1})
  endif()
  _websetup_openssl(described pkey -pubin -in "${canonical}" -noout -text)
  set(bits 0)
  if(described MATCHES "Public-Key: \\(([0-9]+) bit\\)")
    set(bits ${CMAKE_MATCH_1})
  endif()
  if(NOT algorithm STREQUAL "rsaEncryption")
    message(FATAL_ERROR "${why} is a key of type ${algorithm}, not an RSA key (rsaEncryption): the program checks "
                        "RSA PKCS#1 v1.5 signatures. Make one: openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072")
  endif()
  if(bits LESS 2048)
    message(FATAL_ERROR "${why} is an RSA key of ${bits} bits; the program needs 2048 bits or more.")
  endif()
  _websetup_openssl(der pkey -pubin -in "${canonical}" -outform DER -out "${canonical}.der")
  if(der_FAILED)
    message(FATAL_ERROR "${why}: openssl cannot write its DER form: ${der_ERRORS}")
  endif()
  file(SHA256 "${canonical}.der" fingerprint)
  file(REMOVE "${canonical}.der")
  set(${fingerprint_var} ${fingerprint} PARENT_SCOPE)
  set(${bits_var} ${bits} PARENT_SCOPE)
endfunction()

function(_websetup_build_settings_source target dir)
  cmake_parse_arguments(ARG "" "KEY;HTTPS;RETRIES" "MIRRORS" ${ARGN})
  if(NOT DEFINED ARG_RETRIES OR ARG_RETRIES STREQUAL "")
    set(ARG_RETRIES 0)
  endif()
  if(NOT ARG_RETRIES MATCHES "^[0-9]+$" OR ARG_RETRIES GREATER 20)
    message(FATAL_ERROR "WEBSETUP_RETRIES must be a whole number from 0 to 20, not '${ARG_RETRIES}'")
  endif()
  set(mirrors "")
  foreach(mirror IN LISTS ARG_MIRRORS)
    if(NOT mirror MATCHES "^[A-Za-z0-9.-]+(:[0-9]+)?$")
      message(FATAL_ERROR "WEBSETUP_MIRRORS: '${mirror}' is not a host name (or host:port)")
    endif()
    list(APPEND mirrors "\"${mirror}\"")
  endforeach()
  list(JOIN mirrors ", " WEBSETUP_MIRRORS_VALUE)
  if((ARG_RETRIES GREATER 0 OR ARG_MIRRORS) AND NOT ARG_KEY)
    message(FATAL_ERROR "WEBSETUP_RETRIES and WEBSETUP_MIRRORS need WEBSETUP_TRUST_KEY: a resumed, kept or "
                        "mirrored file is safe only because the program checks it against the vendor's signed list")
  endif()
  set(WEBSETUP_RETRIES_VALUE ${ARG_RETRIES})
  set(WEBSETUP_HTTPS_VALUE false)
  if(ARG_HTTPS)
    set(WEBSETUP_HTTPS_VALUE true)
  endif()

  set(WEBSETUP_KEY_TEXT "")
  set(fingerprint none)
  set(pem "${ARG_KEY}")
  if(pem)
    if(NOT IS_ABSOLUTE "${pem}")
      get_filename_component(pem "${pem}" ABSOLUTE BASE_DIR "${_WEBSETUP_SETTINGS_DIR}/..")
    endif()
    if(NOT EXISTS "${pem}" OR IS_DIRECTORY "${pem}")
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: there is no file ${pem}")
    endif()
    if(NOT WEBSETUP_OPENSSL)
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: checking ${pem} needs openssl, which was not found "
                          "(scripts/install-deps.sh installs it)")
    endif()
    set(canonical ${dir}/${target}.pem)
    _websetup_check_public_key("${pem}" "${canonical}" fingerprint bits)
    file(READ "${canonical}" WEBSETUP_KEY_TEXT)
    message(STATUS "${target}: the RSA ${bits}-bit public key of ${pem}, "
                   "SHA-256 fingerprint (DER) ${fingerprint}")
  endif()
  configure_file(${_WEBSETUP_SETTINGS_DIR}/BuildSettings.cpp.in ${dir}/${target}.cpp @ONLY)
  file(WRITE ${dir}/${target}.txt "key ${pem}\nfingerprint ${fingerprint}\nhttps ${WEBSETUP_HTTPS_VALUE}\n"
                                  "retries ${ARG_RETRIES}\nmirrors ${ARG_MIRRORS}\n")
  set(${target}_KEY_FILE "${pem}" PARENT_SCOPE)
endfunction()

function(websetup_build_settings target)
  _websetup_build_settings_source(${target} ${CMAKE_CURRENT_BINARY_DIR} ${ARGN})
  if(${target}_KEY_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${${target}_KEY_FILE}")
  endif()
  add_library(${target} STATIC ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  target_link_libraries(${target} PRIVATE bootstrap websetup_warnings)
endfunction()

function(websetup_test_trust_key var)
  set(${var} "" PARENT_SCOPE)
  if(NOT WEBSETUP_OPENSSL)
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/trust-test)
  if(NOT EXISTS ${dir}/public-key.pem)
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${WEBSETUP_OPENSSL} genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048
                            -out ${dir}/private-key.pem RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    if(NOT failed)
      execute_process(COMMAND ${WEBSETUP_OPENSSL} pkey -in ${dir}/private-key.pem -pubout -out ${dir}/public-key.pem
                      RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(failed)
      file(REMOVE ${dir}/private-key.pem ${dir}/public-key.pem)
      return()
    endif()
  endif()
  set(${var} ${dir}/public-key.pem PARENT_SCOPE)
endfunction()

set(_WEBSETUP_SETTINGS_DIR ${CMAKE_CURRENT_LIST_DIR})
if(CMAKE_SCRIPT_MODE_FILE)
  _websetup_build_settings_source(build_settings "${OUT}" KEY "${WEBSETUP_TRUST_KEY}" HTTPS "${WEBSETUP_HTTPS}"
                                  RETRIES "${WEBSETUP_RETRIES}" MIRRORS "${WEBSETUP_MIRRORS}")
  return()
endif()
# The program's settings, checked when configured whatever is built.
set(WEBSETUP_TRUST_KEY "" CACHE FILEPATH "The vendor's RSA public key (PEM) the program trusts")
option(WEBSETUP_HTTPS "Fetch the list, the files and the report over https:// only (port 443)" OFF)
set(WEBSETUP_RETRIES 0 CACHE STRING "More tries of each file on each host after a failure (needs WEBSETUP_TRUST_KEY)")
set(WEBSETUP_MIRRORS "" CACHE STRING "Mirror hosts after the vendor's own, in order, e.g. \"dl2.example.cz;dl3.example.cz:8080\" (needs WEBSETUP_TRUST_KEY)")
