#include "ftp/tls_policy.h"

#include <cctype>

namespace quarvel {

std::string fingerprintDigits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == ':' || std::isspace(u)) continue;
    if (!std::isxdigit(u)) return std::string();
    digits += static_cast<char>(std::tolower(u));
  }
  return digits.size() == 64 ? digits : std::string();
}

std::string fingerprintForDisplay(const std::string& digits) {
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % 2 == 0) text += ':';
    text += static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
  }
  return text;
}

bool certificateAccepted(const TlsPeer& peer, const std::string& pinned) {
  if (peer.fingerprint.empty()) return false;  // no certificate at all
  if (peer.trusted) return true;
  std::string digits = fingerprintDigits(pinned);
  return !digits.empty() && digits == fingerprintDigits(peer.fingerprint);
}

std::string certificateRefusal(const TlsPeer& peer, const std::string& pinned) {
  if (peer.fingerprint.empty()) return "the FTP server showed no TLS certificate";
  std::string seen =
      "the FTP server's TLS certificate (SHA-256 " + fingerprintForDisplay(peer.fingerprint) + ")";
  if (pinned.empty()) {
    return seen +
           " is not trusted by this system and no fingerprint is pinned (FTP_TLS_FINGERPRINT)";
  }
  if (fingerprintDigits(pinned).empty()) {
    return seen +
           " is not trusted by this system, and the pinned fingerprint (FTP_TLS_FINGERPRINT) is "
           "not a "
           "SHA-256 fingerprint (64 hex digits)";
  }
  return seen +
         " is not trusted by this system and does not match the pinned fingerprint "
         "(FTP_TLS_FINGERPRINT)";
}

}  // namespace quarvel
