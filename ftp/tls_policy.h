// Whether a login goes on with the server's certificate: when the system
// trusts it for the host name, or when its SHA-256 fingerprint is the one
// the operator pinned (a self-signed certificate, typical of FTP servers).
#pragma once

#include <string>

#include "platform/tls.h"

namespace quarvel {

// The 64 lower-case hex digits of a SHA-256 fingerprint written in any
// case, with or without colons or blanks between the digits; empty when the
// text is no such fingerprint.
std::string fingerprintDigits(const std::string& text);

// AB:CD:... as most tools print fingerprints (and as the pin may be
// written).
std::string fingerprintForDisplay(const std::string& digits);

bool certificateAccepted(const TlsPeer& peer, const std::string& pinned);

// One line telling why certificateAccepted refused: what was seen and what
// was pinned.
std::string certificateRefusal(const TlsPeer& peer, const std::string& pinned);

}  // namespace quarvel
