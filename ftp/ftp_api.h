/* The Quarvel FTP client for C callers.
 *
 * Link against quarvelftp (libquarvelftp.so, or quarvelftp.dll with its
 * import library libquarvelftp.dll.a); on Windows quarvel.exe exports the
 * same functions by name.
 *
 * Conventions
 * - One client per process, used from one thread at a time. Every call
 *   blocks until it is done; every wait for the server ends after 60
 *   seconds.
 * - A control channel is a number > 0 from ftpConnect; -1 means no
 *   connection. Data connections are passive and go to the host given to
 *   the listing and transfer calls (normally the host given to ftpConnect),
 *   whatever address the server's 227 reply names.
 * - Results: 1 success, 0 failure, unless a function says otherwise.
 * - Last status: every call except the two FTPGETLASTSTATUS functions sets
 *   it from the last reply line it read (code, and the text after the code
 *   with blanks trimmed), or from a local error formed the same way:
 *     code 1    "Local File Not Found"
 *     53/76/70/75  local file not found / folder not found / access denied /
 *               other ("Local File Open Error", "Local File Access Error",
 *               "Local File Can't be deleted", "Local File Write Error",
 *               "Local File Read Error")
 *     0-999     the system's socket error number (its last three digits):
 *               "Unable to open socket"
 *     421       "Unable to send command"
 *     426       "Data Connection Failed" (a transfer broke off)
 *     501       "Command refused: it holds a line break": a text argument
 *               holding CR or LF is never sent to the server
 *   Code 0 with an empty message: the server said nothing in time, or
 *   closed the connection.
 * - Texts are NUL-terminated byte strings passed through unchanged (no
 *   quoting is added). A NULL text argument counts as the empty text.
 * - Returned texts (FTPGETLASTSTATUSMSG, ftpCurDir, ftpListItem) point into
 *   memory the library owns: never free them. Each stays valid until the
 *   next call of the same function (ftpListItem: until its list is filled
 *   again or freed); copy what you keep.
 * - Listings go into an FtpList that the caller creates with ftpListCreate
 *   and frees with ftpListFree. A call clears it and fills positions 1..n;
 *   position 0 stays empty (""), n is the call's result.
 * - Progress of transfers: a window handle (HWND on Windows, cast to
 *   intptr_t) gets "<bytes done> of <total bytes>" as its window text after
 *   each block of at most 8,192 bytes (ftpGetFile: when the handle is not
 *   0; ftpPutFile: when it is > 0, after each full 8,192-byte block). A
 *   callback set with ftpSetProgressCallback receives these texts in place
 *   of the window (POSIX has no windows: pass any non-zero handle to get
 *   them).
 */
#ifndef QUARVEL_FTP_FTP_API_H_
#define QUARVEL_FTP_FTP_API_H_

#include <stdint.h>

#if defined(_WIN32)
#if defined(QUARVEL_FTP_BUILD)
#define QUARVEL_FTP_API __declspec(dllexport)
#else
#define QUARVEL_FTP_API __declspec(dllimport)
#endif
#else
#define QUARVEL_FTP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* --- Connection and last status ------------------------------------- */

/* Connects (60 s time-out), expects a 220 greeting, sends USER and, after
 * a 331, PASS: the control channel when the server answers 230, else -1. */
QUARVEL_FTP_API int ftpConnect(const char* host, int port, const char* user, const char* password);
/* TLS for the connections made from now on (explicit FTPS), or plain FTP
 * again with `enable` 0 (the default). With TLS, ftpConnect sends AUTH TLS
 * right after the greeting and goes on only over TLS, never falling back to
 * plain text: USER and PASS are sent only when the server's certificate is
 * trusted by the system for `host` or when its SHA-256 fingerprint equals
 * `fingerprint` (64 hex digits, any case, colons optional, as
 * "openssl x509 -noout -fingerprint -sha256" prints it; NULL or "" pins
 * nothing). After the login it sends PBSZ 0 and PROT P, so every listing
 * and transfer of the connection runs over TLS as well, resuming the
 * control connection's TLS session. A TLS step that fails makes ftpConnect
 * give -1; the last status is then the server's refusal (of AUTH TLS, PBSZ
 * or PROT) or code 421 with the reason as text (handshake failed,
 * certificate refused). A data connection whose TLS fails ends the call
 * with 0 and 426 "TLS on the data connection failed".
 * Result: 1; 0 when `fingerprint` is not empty and no SHA-256 fingerprint
 * (the setting is then left as it was). Channels already open keep what
 * they had. */
QUARVEL_FTP_API int ftpSetTls(int enable, const char* fingerprint);

/* What the TLS handshake of the last ftpConnect agreed on: the protocol
 * and the cipher as the system's TLS library names them, separated by one
 * blank ("TLSv1.3 TLS_AES_256_GCM_SHA384"); "" after a plain login or one
 * whose handshake failed. The newest version the server offers is taken. */
QUARVEL_FTP_API const char* ftpTlsSession(void);
/* Sends QUIT, reads the reply and closes the channel. */
QUARVEL_FTP_API void ftpQuit(int channel);
QUARVEL_FTP_API int FTPGETLASTSTATUSCODE(void);
QUARVEL_FTP_API const char* FTPGETLASTSTATUSMSG(void);

/* --- One-line commands ------------------------------------------------ */

QUARVEL_FTP_API int FTPMAKEDIR(int channel, const char* folder); /* MKD, 257 */
/* RNFR then RNTO; no RNTO when RNFR is not answered 350. */
QUARVEL_FTP_API int FTPMOVEORRENAME(int channel, const char* old_name, const char* new_name);
QUARVEL_FTP_API int FTPREMOVEDIR(int channel, const char* folder); /* RMD, 250 */
/* CWD with the folder's surrounding blanks removed, 250. */
QUARVEL_FTP_API int ftpChangeDir(int channel, const char* folder);
/* PWD: the quoted folder of a 257 reply; "" otherwise. */
QUARVEL_FTP_API const char* ftpCurDir(int channel);
QUARVEL_FTP_API int ftpDeleteFile(int channel, const char* name); /* DELE, 250 */
QUARVEL_FTP_API void ftpSetAscii(int channel);                    /* TYPE A */
QUARVEL_FTP_API void ftpSetBinary(int channel);                   /* TYPE I */

/* --- Listings ----------------------------------------------------------- */

typedef struct FtpList FtpList;

QUARVEL_FTP_API FtpList* ftpListCreate(void);
QUARVEL_FTP_API void ftpListFree(FtpList* list);
/* n: the lines are at positions 1..n. */
QUARVEL_FTP_API int ftpListCount(const FtpList* list);
/* The line at a position, "" at 0; NULL outside 0..n. */
QUARVEL_FTP_API const char* ftpListItem(const FtpList* list, int position);

/* LIST (ASCII) up to the first blank line: the number of lines. `list` may
 * be NULL when only the count matters. */
QUARVEL_FTP_API int ftpGetList(int channel, const char* host, FtpList* list);
/* Only the lines beginning with "-" (files): their number. */
QUARVEL_FTP_API int ftpGetFileList(int channel, const char* host, FtpList* list);
/* Only the lines beginning with "d" or "D" (folders): their number. */
QUARVEL_FTP_API int ftpGetDirList(int channel, const char* host, FtpList* list);

/* --- Transfers (binary) ------------------------------------------------- */

/* Downloads `remote_name` into `local_path`, which is removed first and
 * left empty when the server refuses the file. */
QUARVEL_FTP_API int ftpGetFile(int channel, intptr_t window, const char* host,
                               const char* remote_name, const char* local_path);
/* Uploads `local_path` as `remote_name`: 1 when the server confirms with
 * 226. Note the order: host before window, unlike ftpGetFile. */
QUARVEL_FTP_API int ftpPutFile(int channel, const char* host, intptr_t window,
                               const char* remote_name, const char* local_path);

typedef void (*FtpProgressCallback)(intptr_t window, const char* text, void* context);
/* Progress texts go to `callback` (with `context`) from now on; NULL goes
 * back to setting the window's text. */
QUARVEL_FTP_API void ftpSetProgressCallback(FtpProgressCallback callback, void* context);

#ifdef __cplusplus
}
#endif

#endif /* QUARVEL_FTP_FTP_API_H_ */
