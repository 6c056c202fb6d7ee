#include "ftp/tls_policy.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

const char kDigits[] = "601759b3dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1f9";

TEST(TlsPolicyTest, FingerprintsAreReadInTheFormsOperatorsPaste) {
  struct Case {
    const char* name;
    const char* text;
    const char* digits;
  } cases[] = {
      {"plain lower case", kDigits, kDigits},
      {"openssl's colon form",
       "60:17:59:B3:DB:C4:08:AB:98:FF:BA:9E:D1:40:A4:57:C7:C3:2D:38:08:9F:8C:D1:CB:3A:EC:05:91:"
       "9A:E1:F9",
       kDigits},
      {"blanks and mixed case",
       " 601759B3 dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1F9 ", kDigits},
      {"empty", "", ""},
      {"one digit short", "601759b3dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1f", ""},
      {"SHA-1 length", "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3", ""},
      {"a letter that is no hex digit",
       "g01759b3dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1f9", ""},
      {"a prefix the program does not know",
       "SHA256:601759b3dbc408ab98ffba9ed140a457c7c32d38089f8cd1cb3aec05919ae1f9", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fingerprintDigits(c.text), c.digits) << c.name;
  }
  EXPECT_EQ(fingerprintDigits(fingerprintForDisplay(kDigits)), kDigits);
  EXPECT_EQ(fingerprintForDisplay("0aff"), "0A:FF");
}

TEST(TlsPolicyTest, ACertificateIsTrustedOrPinnedOrRefused) {
  const std::string other(64, 'a');
  struct Case {
    const char* name;
    TlsPeer peer;
    std::string pinned;
    bool accepted;
    const char* refusal_holds;
  } cases[] = {
      {"trusted, nothing pinned", {kDigits, true}, "", true, ""},
      {"trusted, another one pinned", {kDigits, true}, other, true, ""},
      {"self-signed, pinned", {kDigits, false}, fingerprintForDisplay(kDigits), true, ""},
      {"self-signed, nothing pinned", {kDigits, false}, "", false, "no fingerprint is pinned"},
      {"self-signed, another one pinned", {kDigits, false}, other, false, "does not match"},
      {"self-signed, the pin is malformed", {kDigits, false}, "60:17", false, "64 hex digits"},
      {"no certificate, trusted flag alone", {"", true}, "", false, "no TLS certificate"},
      {"no certificate, empty pin", {"", false}, "", false, "no TLS certificate"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(certificateAccepted(c.peer, c.pinned), c.accepted) << c.name;
    if (!c.accepted) {
      std::string why = certificateRefusal(c.peer, c.pinned);
      EXPECT_NE(why.find(c.refusal_holds), std::string::npos) << c.name << ": " << why;
      if (!c.peer.fingerprint.empty()) {
        EXPECT_NE(why.find(fingerprintForDisplay(kDigits)), std::string::npos) << c.name;
      }
    }
  }
}

}  // namespace
}  // namespace quarvel
