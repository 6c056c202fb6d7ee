#include "ftp/ftp_client.h"

namespace quarvel {

struct FtpClient::Channel {};

FtpClient::FtpClient(Platform& platform, int timeout_ms)
    : platform_(platform), timeout_ms_(timeout_ms) {}
FtpClient::~FtpClient() = default;
int FtpClient::ftpConnect(const std::string&, int, const std::string&, const std::string&) {
  return -1;
}
void FtpClient::ftpQuit(int) {}
void FtpClient::closeChannel(int) {}
int FtpClient::sendCommand(int, const std::string&) { return 1; }
std::string FtpClient::readReplyLine(int) { return std::string(); }
bool FtpClient::atEndOfData(int) { return true; }
void FtpClient::setLastStatus(const std::string&) {}
int replyCode(const std::string&) { return 0; }

}  // namespace quarvel
