// The one-line commands: send, read exactly one reply line, compare its code.
#include "config/text.h"
#include "ftp/ftp_client.h"
#include "ftp/reply.h"

namespace quarvel {

namespace {

// The quoted name of a 257 reply: from the first double quote to the next
// one that is not doubled ("" stands for one quote inside the name).
std::string quotedName(const std::string& line) {
  std::size_t open = line.find('"');
  if (open == std::string::npos) return std::string();
  std::string name;
  for (std::size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] != '"') {
      name.push_back(line[i]);
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      name.push_back('"');
      ++i;
    } else {
      return name;
    }
  }
  return std::string();  // no closing quote
}

}  // namespace

int FtpClient::oneLineCommand(int channel, const std::string& command, int expected) {
  std::string line = exchange(channel, command);
  setLastStatus(line);
  return replyCode(line) == expected ? 1 : 0;
}

int FtpClient::ftpDeleteFile(int channel, const std::string& name) {
  return oneLineCommand(channel, "DELE " + name, 250);
}

int FtpClient::ftpMakeDir(int channel, const std::string& folder) {
  return oneLineCommand(channel, "MKD " + folder, 257);
}

int FtpClient::ftpRemoveDir(int channel, const std::string& folder) {
  return oneLineCommand(channel, "RMD " + folder, 250);
}

int FtpClient::ftpMoveOrRename(int channel, const std::string& from, const std::string& to) {
  if (oneLineCommand(channel, "RNFR " + from, 350) == 0) return 0;
  return oneLineCommand(channel, "RNTO " + to, 250);
}

int FtpClient::ftpChangeDir(int channel, const std::string& folder) {
  return oneLineCommand(channel, "CWD " + trimBlanks(folder), 250);
}

std::string FtpClient::ftpCurDir(int channel) {
  std::string line = exchange(channel, "PWD");
  setLastStatus(line);
  return replyCode(line) == 257 ? quotedName(line) : std::string();
}

void FtpClient::ftpSetAscii(int channel) { setLastStatus(exchange(channel, "TYPE A")); }

void FtpClient::ftpSetBinary(int channel) { setLastStatus(exchange(channel, "TYPE I")); }

}  // namespace quarvel
