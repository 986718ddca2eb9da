# The vendor's public key, built into the program: it then starts only what
# the vendor's signed list vouches for.
#
# websetup_trust_key(TARGET PEM): a library whose VendorTrustKey() returns the
# PEM text of the RSA public key in PEM ("" when PEM is empty: no key).
# websetup_test_trust_key(VAR): a throw-away key pair for the tests, made once
# per build folder in trust-test/; VAR names its public half ("" without openssl).
find_program(WEBSETUP_OPENSSL openssl)

function(websetup_trust_key target pem)
  set(WEBSETUP_TRUST_KEY_TEXT "")
  if(pem)
    if(NOT IS_ABSOLUTE "${pem}")
      set(pem "${PROJECT_SOURCE_DIR}/${pem}")
    endif()
    if(NOT EXISTS "${pem}")
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: there is no file ${pem}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pem}")
    file(READ "${pem}" WEBSETUP_TRUST_KEY_TEXT)
    if(NOT WEBSETUP_TRUST_KEY_TEXT MATCHES "-----BEGIN PUBLIC KEY-----")
      message(FATAL_ERROR "WEBSETUP_TRUST_KEY: ${pem} holds no public key (-----BEGIN PUBLIC KEY-----). "
                          "Give the public half: openssl pkey -in private-key.pem -pubout -out public-key.pem")
    endif()
    if(WEBSETUP_OPENSSL)
      execute_process(COMMAND ${WEBSETUP_OPENSSL} pkey -pubin -in "${pem}" -noout -text
                      OUTPUT_VARIABLE described RESULT_VARIABLE failed ERROR_QUIET)
      set(bits 0)
      if(described MATCHES "Public-Key: \\(([0-9]+) bit\\)")
        set(bits ${CMAKE_MATCH_1})
      endif()
      if(failed OR NOT described MATCHES "Modulus:" OR bits LESS 2048)
        message(FATAL_ERROR "WEBSETUP_TRUST_KEY: ${pem} is not an RSA public key of 2048 bits or more")
      endif()
    endif()
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/TrustKey.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp @ONLY)
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
