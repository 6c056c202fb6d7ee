// Passive data channels, listings, downloads and uploads. Files move piece
// by piece through the platform; no file is ever held in memory whole.
#include <algorithm>
#include <string>
#include <vector>

#include "config/file_errors.h"
#include "config/text.h"
#include "ftp/ftp_client.h"
#include "ftp/reply.h"

namespace quarvel {

namespace {

constexpr char kLocalNotFound[] = "001 Local File Not Found";
constexpr char kDataFailed[] = "426 Data Connection Failed";

// The reply that starts a transfer: 150, or 125 when the server sees the
// data connection already open (as it is: it opens right after PASV).
bool transferStarts(const std::string& reply) {
  int code = replyCode(reply);
  return code == 150 || code == 125;
}

// Fills the block completely: false when the file ends early or a read
// fails (the file changed under the upload).
bool readFull(BinaryFile& file, char* block, std::size_t size) {
  while (size > 0) {
    long n = file.read(block, size);
    if (n <= 0) return false;
    block += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string progressText(std::uint64_t done, std::uint64_t total) {
  return std::to_string(done) + " of " + std::to_string(total);
}

// A keep-only-these copy of a listing, same layout (position 0 empty).
template <typename Keep>
int filterListing(const std::vector<std::string>& all, std::vector<std::string>* lines, Keep keep) {
  lines->assign(1, std::string());
  for (std::size_t i = 1; i < all.size(); ++i) {
    if (!all[i].empty() && keep(all[i][0])) lines->push_back(all[i]);
  }
  return static_cast<int>(lines->size()) - 1;
}

}  // namespace

void FtpClient::showProgressSteps(std::intptr_t window, std::uint64_t from, std::uint64_t to,
                                  std::uint64_t total, bool partial_step) {
  for (std::uint64_t step = from + kBlockSize; step <= to; step += kBlockSize) {
    showProgress(window, progressText(step, total));
  }
  const std::uint64_t last_full = to - (to - from) % kBlockSize;
  if (partial_step && last_full != to) showProgress(window, progressText(to, total));
}

int FtpClient::enterPassive(int channel, const std::string& host) {
  std::string line = exchange(channel, "PASV");
  int data = -1;
  int port = 0;
  if (replyCode(line) == 227 && passivePort(line, &port)) {
    data = openDataChannel(host, port);
  }
  setLastStatus(line);
  return data;
}

int FtpClient::ftpGetList(int channel, const std::string& host, std::vector<std::string>* lines) {
  lines->assign(1, std::string());
  int data = enterPassive(channel, host);
  if (data < 0) return 0;
  ftpSetAscii(channel);
  std::string reply = exchange(channel, "LIST");
  // A refused LIST sends nothing on the data channel and no second reply:
  // waiting for either would only end in two time-outs.
  if (replyCode(reply) >= 400) {
    closeChannel(data);
    setLastStatus(reply);
    return 0;
  }
  if (!secureData(channel, data, host)) return abandonData(channel, data);
  for (;;) {
    std::string line = readReplyLine(data);
    if (trimBlanks(line).empty()) break;
    lines->push_back(line);
    if (channelEnded(data)) break;
  }
  // Closed before the final reply is read, as after a download: a TLS
  // server waits for the close_notify, and vsftpd lingers on its closed
  // socket until its last data is acknowledged (some 40 ms per listing
  // when the client kept its side open).
  closeChannel(data);
  std::string end = readReplyLine(channel);
  setLastStatus(end);
  return static_cast<int>(lines->size()) - 1;
}

int FtpClient::ftpGetFileList(int channel, const std::string& host,
                              std::vector<std::string>* lines) {
  std::vector<std::string> all;
  ftpGetList(channel, host, &all);
  return filterListing(all, lines, [](char c) { return c == '-'; });
}

int FtpClient::ftpGetDirList(int channel, const std::string& host,
                             std::vector<std::string>* lines) {
  std::vector<std::string> all;
  ftpGetList(channel, host, &all);
  return filterListing(all, lines, [](char c) { return c == 'd' || c == 'D'; });
}

int FtpClient::ftpGetFile(int channel, std::intptr_t window, const std::string& host,
                          const std::string& remote_name, const std::string& local_path) {
  FileError error = platform_.removeFile(local_path);
  if (error != FileError::kNone && error != FileError::kNotFound &&
      error != FileError::kPathNotFound) {
    setLastStatus(localErrorLine(runtimeErrorNumber(error), "Local File Can't be deleted"));
    return 0;
  }
  std::unique_ptr<BinaryFile> file = platform_.createForWriting(local_path, &error);
  if (!file) {
    setLastStatus(localErrorLine(runtimeErrorNumber(error), "Local File Open Error"));
    return 0;
  }
  int data = enterPassive(channel, host);
  if (data < 0) return 0;  // the local file stays behind, empty
  ftpSetBinary(channel);
  std::string reply = exchange(channel, "RETR " + remote_name);
  if (!transferStarts(reply)) {
    closeChannel(data);
    setLastStatus(reply);
    return 0;
  }
  if (!secureData(channel, data, host)) return abandonData(channel, data);

  const std::uint64_t total = announcedSize(reply);
  std::uint64_t received = 0;
  std::vector<char> block(kTransferSize);
  std::string failure;
  for (;;) {
    long n = receiveBlock(data, block.data(), block.size());
    if (n == 0) break;  // the server closed: the file is complete
    // A stalled or broken data channel, or a full disk, leaves the local
    // file incomplete: that is no success, whatever the server says next.
    if (n < 0) {
      failure = kDataFailed;
      break;
    }
    if (!file->write(block.data(), static_cast<std::size_t>(n))) {
      failure = localErrorLine(runtimeErrorNumber(FileError::kOther), "Local File Write Error");
      break;
    }
    const std::uint64_t before = received;
    received += static_cast<std::uint64_t>(n);
    if (window != 0) showProgressSteps(window, before, received, total, true);
  }
  // Closed before the final reply is read: an abandoned transfer is then
  // answered and the control channel stays in step, a TLS server gets the
  // close_notify it waits for, and a server that lingers on its closed
  // socket (vsftpd) is acknowledged at once instead of after the system's
  // delayed acknowledgement (some 40 ms per file).
  closeChannel(data);
  file.reset();
  std::string end = readReplyLine(channel);
  setLastStatus(failure.empty() ? end : failure);
  return failure.empty() ? 1 : 0;
}

int FtpClient::ftpPutFile(int channel, const std::string& host, std::intptr_t window,
                          const std::string& remote_name, const std::string& local_path) {
  FileError error = FileError::kNone;
  std::unique_ptr<BinaryFile> file = platform_.openForReading(local_path, &error);
  if (!file && (error == FileError::kNotFound || error == FileError::kPathNotFound)) {
    setLastStatus(kLocalNotFound);
    return 0;
  }
  std::uint64_t size = 0;
  if (!file || !platform_.fileSize(local_path, &size)) {
    if (file) error = FileError::kOther;
    setLastStatus(localErrorLine(runtimeErrorNumber(error), "Local File Access Error"));
    return 0;
  }
  ftpSetBinary(channel);
  int data = enterPassive(channel, host);
  if (data < 0) return 0;
  std::string reply = exchange(channel, "STOR " + remote_name);
  if (!transferStarts(reply)) {
    closeChannel(data);
    setLastStatus(reply);
    return 0;
  }
  if (!secureData(channel, data, host)) return abandonData(channel, data);

  std::vector<char> block(static_cast<std::size_t>(std::min<std::uint64_t>(kTransferSize, size)));
  std::uint64_t sent = 0;
  std::string failure;
  while (sent < size) {
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - sent));
    if (!readFull(*file, block.data(), length)) {
      failure = localErrorLine(runtimeErrorNumber(FileError::kOther), "Local File Read Error");
      break;
    }
    if (sendBlock(data, block.data(), length) == 0) {
      failure = kDataFailed;
      break;
    }
    const std::uint64_t before = sent;
    sent += length;
    if (window > 0) showProgressSteps(window, before, sent, size, false);
  }
  closeChannel(data);  // the end of the file for the server
  file.reset();
  if (!failure.empty()) {
    setLastStatus(failure);
    return 0;
  }
  std::string end = readReplyLine(channel);
  setLastStatus(end);
  return replyCode(end) == 226 ? 1 : 0;
}

}  // namespace quarvel
