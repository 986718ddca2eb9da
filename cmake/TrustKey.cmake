# The vendor's public key, built into the program: it then starts only what
# the vendor's signed list vouches for.
#
# websetup_trust_key(TARGET PEM): a library whose VendorTrustKey() returns the
# PEM text of the RSA public key in PEM ("" when PEM is empty: no key). The
# file must hold that one key and nothing else; what is built in is the key as
# openssl writes it again, never the file's own text, so nothing else in the
# file can reach the program. Configuring prints the key's SHA-256 fingerprint
# (of its DER form), for the vendor to compare with its own.
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

function(websetup_trust_key target pem)
  set(WEBSETUP_TRUST_KEY_TEXT "")
  if(pem)
    if(NOT IS_ABSOLUTE "${pem}")
      set(pem "${PROJECT_SOURCE_DIR}/${pem}")
    endif()
    if(NOT EXISTS "${pem}" OR IS_DIRECTORY "${pem}")
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: there is no file ${pem}")
    endif()
    if(NOT WEBSETUP_OPENSSL)
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: checking ${pem} needs openssl, which was not found "
                          "(scripts/install-deps.sh installs it)")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pem}")
    set(canonical ${CMAKE_CURRENT_BINARY_DIR}/${target}.pem)
    _websetup_check_public_key("${pem}" "${canonical}" fingerprint bits)
    file(READ "${canonical}" WEBSETUP_TRUST_KEY_TEXT)
    message(STATUS "${target}: the RSA ${bits}-bit public key of ${pem}, "
                   "SHA-256 fingerprint (DER) ${fingerprint}")
  endif()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TrustKey.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp @ONLY)
  add_library(${target} STATIC ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  target_link_libraries(${target} PRIVATE websetup_warnings)
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
