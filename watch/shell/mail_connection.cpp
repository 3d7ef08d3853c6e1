#include "watch/shell/mail_connection.h"

#include <memory>
#include <utility>
#include <variant>

#include "watch/shell/mail_stream.h"

namespace mail {

namespace {

    // Bounds one read; the session bounds lines and literals itself.
    constexpr size_t kReceiveChunk = 64 * 1024;
    // After a stop request the server gets this long to answer LOGOUT.
    constexpr int64_t kLogoutBudgetMs = 1500;
    // Waits longer than this are cut: nothing is lost by waking early.
    constexpr int64_t kLongestWaitMs = 60 * 1000;

    int64_t NowMs() { return static_cast<int64_t>(::GetTickCount64()); }

    bool IsSet(HANDLE event) { return event && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

    std::string Endpoint(const ServerAddress& server) { return server.host + ":" + std::to_string(server.port); }

    std::unique_ptr<MailSession> NewSession(ImapLogin login, const FolderState& state, const MailTimings& timings)
    {
        return std::make_unique<ImapSession>(std::move(login), state, timings, NowMs());
    }

    std::unique_ptr<MailSession> NewSession(Pop3Login login, const Pop3Seen& seen, const MailTimings& timings)
    {
        return std::make_unique<Pop3Session>(std::move(login), seen, timings.response_timeout_ms, NowMs());
    }

    template <class Login, class State> class Connection {
    public:
        Connection(const ServerAddress& server, Login login, const State& state, const MailTimings& timings,
            HANDLE stop, HANDLE wake, CountSink<State>& sink)
            : m_server(server)
            , m_login(std::move(login))
            , m_state(state)
            , m_timings(timings)
            , m_stop(stop)
            , m_wake(wake)
            , m_sink(sink)
        {
        }

        ConnectionEnd Run()
        {
            if (Open()) {
                m_session = NewSession(std::move(m_login), m_state, m_timings);
                while (Step()) { }
                m_stream->Close();
            }
            m_end.stopped = m_end.stopped || m_loggingOut;
            return std::move(m_end);
        }

    private:
        bool Open()
        {
            StreamError error;
            const DWORD timeout = static_cast<DWORD>(m_timings.response_timeout_ms);
            m_stream = MailStream::Connect(m_server.host, m_server.port, timeout, m_stop, &error);
            if (!m_stream) {
                m_end.failure = error.text;
                m_end.stopped = IsSet(m_stop);
                return false;
            }
            m_login.starttls = m_server.security == Security::StartTls;
            m_login.credentials_may_be_sent = m_server.security == Security::Tls
                || (m_server.security == Security::None && IsLoopbackHost(m_server.host));
            if (m_server.security == Security::StartTls)
                return true;
            if (m_server.security == Security::Tls && !Handshake())
                return false;
            if (m_server.security == Security::None)
                m_sink.OnLog("connected to " + Endpoint(m_server) + " (no TLS: loopback only)");
            return true;
        }

        bool Handshake()
        {
            StreamError error;
            const TlsPolicy policy { m_server.host, m_server.pinned_sha256 };
            const DWORD timeout = static_cast<DWORD>(m_timings.response_timeout_ms);
            if (!m_stream->StartTls(policy, timeout, m_stop, &error)) {
                m_end.failure = error.text;
                m_end.refused_certificate = error.refused_sha256_hex;
                m_end.stopped = IsSet(m_stop);
                m_stream->Close();
                return false;
            }
            const char* how = m_server.pinned_sha256.empty() ? "certificate verified" : "pinned certificate";
            m_sink.OnLog("connected to " + Endpoint(m_server) + " (TLS, " + how + ")");
            return true;
        }

        // Carries out every pending action, then waits once; false at the end.
        bool Step()
        {
            Action action;
            while (m_session->next_action(action)) {
                if (!CarryOut(action))
                    return false;
            }
            if (m_session->checks_done() != m_checksSeen) {
                m_checksSeen = m_session->checks_done();
                m_sink.OnWatching(m_session->idling());
            }
            if (m_session->closed())
                return false;
            if (!m_loggingOut && IsSet(m_stop)) {
                BeginLogout();
                return true;
            }
            if (m_loggingOut && NowMs() >= m_logoutDeadline)
                return false;
            return Wait();
        }

        bool CarryOut(Action& action)
        {
            StreamError error;
            switch (action.kind) {
            case Action::Kind::Send:
                // Never logged: it may hold the password.
                if (!m_stream->Send(action.bytes, &error))
                    m_session->connection_lost(NowMs());
                return true;
            case Action::Kind::StartTls:
                if (!Handshake())
                    return false;
                m_session->tls_ready(NowMs());
                return true;
            case Action::Kind::Count:
                m_end.not_counted = !m_sink.OnCount(action.count, std::get<State>(action.state));
                return !m_end.not_counted;
            case Action::Kind::Baseline:
                m_sink.OnBaseline(std::get<State>(action.state));
                return true;
            case Action::Kind::Log:
                m_sink.OnLog(action.text);
                return true;
            case Action::Kind::Examined:
                m_sink.OnExamined(action.text);
                return true;
            case Action::Kind::Headers:
                m_sink.OnHeaders(action.headers);
                return true;
            case Action::Kind::Close:
                m_end.reason = action.reason;
                return false;
            }
            return false;
        }

        void BeginLogout()
        {
            m_loggingOut = true;
            m_logoutDeadline = NowMs() + kLogoutBudgetMs;
            m_session->logout(NowMs());
        }

        bool Wait()
        {
            const int64_t now = NowMs();
            int64_t deadline = m_session->next_deadline();
            if (m_loggingOut && m_logoutDeadline < deadline)
                deadline = m_logoutDeadline;
            if (deadline <= now) {
                m_session->tick(now);
                return true;
            }
            const int64_t wait = deadline - now < kLongestWaitMs ? deadline - now : kLongestWaitMs;
            // While logging out only the server's answer matters.
            const HANDLE wake = m_loggingOut ? nullptr : m_wake;
            StreamError error;
            m_buffer.clear();
            switch (m_stream->Receive(&m_buffer, kReceiveChunk, static_cast<DWORD>(wait), wake, &error)) {
            case MailStream::ReadResult::Data:
                m_session->receive(m_buffer, NowMs());
                return true;
            case MailStream::ReadResult::Timeout:
                m_session->tick(NowMs());
                return true;
            case MailStream::ReadResult::Woken:
                if (IsSet(m_stop))
                    return true; // the next step logs out
                m_end.woken = true;
                return false;
            case MailStream::ReadResult::Closed:
            case MailStream::ReadResult::Failed:
                m_session->connection_lost(NowMs());
                return true;
            }
            return true;
        }

        const ServerAddress& m_server;
        Login m_login;
        State m_state;
        MailTimings m_timings;
        HANDLE m_stop;
        HANDLE m_wake;
        CountSink<State>& m_sink;
        std::unique_ptr<MailStream> m_stream;
        std::unique_ptr<MailSession> m_session;
        std::string m_buffer;
        ConnectionEnd m_end;
        bool m_loggingOut = false;
        int64_t m_logoutDeadline = 0;
        uint32_t m_checksSeen = 0;
    };

} // namespace

ConnectionEnd RunImapConnection(const ServerAddress& server, ImapLogin login, const FolderState& state,
    const MailTimings& timings, HANDLE stop, HANDLE wake, FolderSink& sink)
{
    return Connection<ImapLogin, FolderState>(server, std::move(login), state, timings, stop, wake, sink).Run();
}

ConnectionEnd RunPop3Connection(const ServerAddress& server, Pop3Login login, const Pop3Seen& seen,
    const MailTimings& timings, HANDLE stop, HANDLE wake, Pop3Sink& sink)
{
    return Connection<Pop3Login, Pop3Seen>(server, std::move(login), seen, timings, stop, wake, sink).Run();
}

} // namespace mail
