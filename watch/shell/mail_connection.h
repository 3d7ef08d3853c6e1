// One connection from start to end: connect, TLS where asked, then the pure
// IMAP or POP3 session fed with the stream's bytes and the clock, its actions
// carried out here. The watcher's threads and larkbellctl check both use it.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "watch/core/account_values.h"
#include "watch/core/imap_session.h"
#include "watch/core/pop3_session.h"

namespace mail {

struct ServerAddress {
    std::string host;
    uint16_t port = 993;
    Security security = Security::Tls;
    std::string pinned_sha256; // 32 raw bytes, or empty: trust the store
};

// What the caller does with the session's results; `State` is what to
// persist: a folder's FolderState, or the ids seen on a POP3 account.
template <class State> class CountSink {
public:
    virtual ~CountSink() = default;
    // False when the messages could not be counted: the connection then ends
    // without recording them, so they are counted on the next one.
    virtual bool OnCount(uint32_t count, const State& state) = 0;
    virtual void OnBaseline(const State& state) = 0;
    virtual void OnExamined(const std::string& text) = 0;
    // The header fields of the messages just counted, newest first.
    virtual void OnHeaders(const std::vector<std::string>& headers) { (void)headers; }
    virtual void OnLog(const std::string& text) = 0;
    // A check ended with the folder watched: in IDLE, or between polls.
    virtual void OnWatching(bool idle) { (void)idle; }
};
using FolderSink = CountSink<FolderState>;
using Pop3Sink = CountSink<Pop3Seen>;

struct ConnectionEnd {
    CloseReason reason = CloseReason::None;
    std::string failure; // connect or TLS failure, for one log line
    std::string refused_certificate; // its SHA-256 as "AB:CD:...", when the TLS check refused it
    bool stopped = false; // the stop event ended it
    bool woken = false; // the wake event ended it: reconnect at once
    bool not_counted = false; // a Count could not be handed over
};

// Runs until the session closes, `stop` is set (then LOGOUT, at most about
// 1.5 s more) or `wake` is set. Either event may be null.
ConnectionEnd RunImapConnection(const ServerAddress& server, ImapLogin login, const FolderState& state,
    const MailTimings& timings, HANDLE stop, HANDLE wake, FolderSink& sink);

// One POP3 poll over the same kind of connection; ends after QUIT.
ConnectionEnd RunPop3Connection(const ServerAddress& server, Pop3Login login, const Pop3Seen& seen,
    const MailTimings& timings, HANDLE stop, HANDLE wake, Pop3Sink& sink);

} // namespace mail
