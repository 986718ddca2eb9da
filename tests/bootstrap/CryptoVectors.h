#pragma once
// Vectors made with openssl, for the platforms' own cryptography:
//   openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out vendor.pem    (and another, and one of 1024 bits)
//   printf 'websetup file list 1\nproduct TERBO\n' > message
//   openssl dgst -sha256 -sign vendor.pem -out signature message
// Only the public halves are kept.
#include <string>

namespace vectors {
inline constexpr char kMessage[] = "websetup file list 1\nproduct TERBO\n";
inline constexpr char kVendorKey[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAtk0WZYRDBTFO1tMlxzZO\n"
    "AIqLIfLcFnH3fgRbr8y/OQud4ct8X8c7Ih2+MPko48nSc66wXbTS5/NouGibKTZZ\n"
    "gFctr8LAOYLovLdHPEzu0e1nHioUIyJc35PiCQVvDMpCy8rXDbY2x/tSqfOT5ntj\n"
    "pmsoUe7qHCiB7AIb/T3UieBygGCA+q2hk2nUmlamAnJm7iG+TlZX/wNNgtOJqSrY\n"
    "20GxBQo/bKSIL6DIkYKwL91d1JKlvj7uXZLwEBCiHHXaI9Fye2p9m+qvHSkEZI0I\n"
    "zr3AmtXNCzzolUz0G5BKh4VFqO2l4nEh0sKYjxn+Ys60LvLUR1lY0nMvZA2pegsn\n"
    "AwIDAQAB\n"
    "-----END PUBLIC KEY-----\n";
inline constexpr char kOtherKey[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA0sofzuFsJTtUQYRVXSd6\n"
    "OcD9Q/AmNgob/m1XWvHJsJhdeFtz0XD77JGKzBZrkkfVEGrIFtIrPcNsb1VEcZok\n"
    "0FMJgScAobRoMhCQxrwrDUr3xo9/kTRXrukMNoPN1xEr14nNPMoJ8OVQKzqtcMOE\n"
    "oftpU7147sCbxebvjwK45T25/1EJ9istCD0bo2XBfuxPslEI9mPSnaftBqFd06kI\n"
    "qq/gvYzaHMf++R3ibX6QSYX4xtUmS6+30m7PiMwZ9KlR0w2hJlzgTlONKFf9q1OK\n"
    "j4riuQmVPR5lLzw1LIUJ+KJQQN5XGCrcXcgZh6Sv177aAl5Fyu//INuwX5RtVvh8\n"
    "6wIDAQAB\n"
    "-----END PUBLIC KEY-----\n";
inline constexpr char kShortKey[] =  // 1024 bits: too short to be trusted
    "-----BEGIN PUBLIC KEY-----\n"
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDzJNj3AU7rC6Ipl7AxyjWYQZwl\n"
    "p+f8fqHC01DWhBUA2677fDb7LjYZXLauvY+vncHUeHJmxQ5OafEFUSI8CtFI9g7t\n"
    "wzsuIoK7J52jAWDNeCF/2pu8yPoBCffnmj2IrO02tOcUkXEJ3BlYnq5pV4kIxFOX\n"
    "s1yQb29Vb/36eXALGwIDAQAB\n"
    "-----END PUBLIC KEY-----\n";
// base64 of the signatures of kMessage by the vendor's key and by the short key
inline constexpr char kVendorSignature[] =
    "d5U3QRdnLqz7w0Rb7a/udKKAGex+hRvZd3Jeohn0JoekyUCjaWjYAtrfuvMUM1GbYXu/om/utn8Plv9qeSDDKJN3dEOde29eWvEtTl6sgPac/myRVlQIwAPJoxL4ASbAcANjhWLfCP6nRomL8cgfaeLf/XrOmGUxSxYoLFHg7slA7VeGjtIp+LnnXyu3AC3Tkvfpep0D8e3ytrbU7IiF4i5kYeyjP9rz7mXiNj7y28WYaCFLB9lEfC6Rpdr4sz3fRyWRavBEdz5ySGsIku791OjSaYviS77DADw1Q1ZQQJ1U2BOU6ZhwBxBPUM2mVB+U0SIXyyBWzIVhVo6JRxp59g==";
inline constexpr char kShortKeySignature[] =
    "wD76O71Y15p9SJnQvzKZCG9iujBPv8beeDeo3N+dFbyt0cDOKBO+zFh/JiTgA+SGAYNdKJdJcnScVnDzVjFXzK5jO89tJj7XxlOoOIq3/dACAIXWVfJMt4X+bRUDJHEA/cOPix8aB7o/qbAv/VYNhB1bRoW3MwNFVx5YC48LO0c=";

struct DigestVector {
  std::string input;
  const char* sha256;
};
// FIPS 180-2's examples, and a million "a" given in uneven pieces.
inline const DigestVector kDigests[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};
}  // namespace vectors
