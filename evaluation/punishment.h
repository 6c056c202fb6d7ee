// Acting on the server: sending one admin command, and the trial and quota
// punishments.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

// Codes shown on standard error when an admin command fails (the same
// numbers a Windows socket layer uses, so an operator can look them up).
inline constexpr long kCommandLineRefused = 5;  // holds CR or LF: not sent
inline constexpr long kNotConnected = 10057;    // no such open connection
inline constexpr long kSendFailed = 10054;      // the connection broke
inline constexpr long kNoReply = 10060;         // nothing came back in time

// Writes the command line on the admin connection and returns the reply
// (readPendingLines). A failed write or read shows its numeric code on
// standard error; a command line holding CR or LF is never sent.
std::string sendSiteCommand(Run& run, int connection, const std::string& command);

// TRIAL_PUNISHMENT 1: SITE DELUSER; 2: SITE CHANGE ... FLAGS +flag.
void punishTrialUser(Run& run, const std::string& name);

// QUOTA_PUNISHMENT 1: kick and delete; 2: kick and disable; then the
// member's quota record is deleted.
void punishQuotaUser(Run& run, const std::string& name);

}  // namespace quarvel
