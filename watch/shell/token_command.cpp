#include "watch/shell/token_command.h"

#include <stdio.h>

#include <vector>

#include "watch/core/token_output.h"
#include "win32/error_text.h"
#include "win32/handles.h"

namespace mail {

namespace {

    using win32::ErrorText;
    using win32::UniqueFile;
    using win32::UniqueHandle;

    LONG g_pipeSerial = 0;

    // Limits what the child inherits to its own two handles, so that
    // commands started at the same time by other threads never hold each
    // other's pipes open.
    class InheritList {
    public:
        explicit InheritList(HANDLE* handles, size_t count)
        {
            SIZE_T size = 0;
            ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
            m_buffer.resize(size);
            auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
            if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size))
                return;
            m_list = list;
            if (!::UpdateProcThreadAttribute(
                    m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE), nullptr, nullptr))
                m_ready = false;
            else
                m_ready = true;
        }
        InheritList(const InheritList&) = delete;
        InheritList& operator=(const InheritList&) = delete;
        ~InheritList()
        {
            if (m_list)
                ::DeleteProcThreadAttributeList(m_list);
        }
        LPPROC_THREAD_ATTRIBUTE_LIST get() const { return m_ready ? m_list : nullptr; }

    private:
        std::vector<char> m_buffer;
        LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
        bool m_ready = false;
    };

    // The read end of the child's standard output, read with overlapped I/O
    // so that waiting for it can also wait for the process, the stop event
    // and the time limit. A read still pending is cancelled before the
    // buffer goes away.
    class OutputPipe {
    public:
        bool Create(UniqueFile* client, std::string* why)
        {
            char name[96];
            snprintf(name, sizeof name, "\\\\.\\pipe\\larkbellwatch-token-%lu-%ld", ::GetCurrentProcessId(),
                ::InterlockedIncrement(&g_pipeSerial));
            m_server.reset(::CreateNamedPipeA(name,
                PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 4096, 0, nullptr));
            m_event.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
            if (!m_server || !m_event) {
                *why = ErrorText("CreateNamedPipe failed");
                return false;
            }
            SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
            client->reset(::CreateFileA(name, GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr));
            if (!*client) {
                *why = ErrorText("CreateFile on the output pipe failed");
                return false;
            }
            return true;
        }
        OutputPipe() = default;
        OutputPipe(const OutputPipe&) = delete;
        OutputPipe& operator=(const OutputPipe&) = delete;
        ~OutputPipe() { Cancel(); }

        HANDLE event() const { return m_event.get(); }
        bool open() const { return m_open; }
        bool pending() const { return m_pending; }
        const std::string& output() const { return m_output; }

        // Starts reads until one is pending or the pipe is at its end.
        void Read()
        {
            while (m_open && !m_pending) {
                m_overlapped = OVERLAPPED {};
                m_overlapped.hEvent = m_event.get();
                DWORD got = 0;
                if (::ReadFile(m_server.get(), m_buffer, sizeof m_buffer, &got, &m_overlapped))
                    Take(got);
                else if (::GetLastError() == ERROR_IO_PENDING)
                    m_pending = true;
                else
                    m_open = false; // ERROR_BROKEN_PIPE: every writer is gone
            }
        }

        // After the event: takes what the pending read brought, then reads on.
        // False when the read is still pending.
        bool Complete()
        {
            DWORD got = 0;
            if (!::GetOverlappedResult(m_server.get(), &m_overlapped, &got, FALSE)) {
                if (::GetLastError() == ERROR_IO_INCOMPLETE)
                    return false;
                m_open = false;
            } else {
                Take(got);
            }
            m_pending = false;
            Read();
            return true;
        }

        void Cancel()
        {
            if (!m_pending)
                return;
            DWORD got = 0;
            ::CancelIoEx(m_server.get(), &m_overlapped);
            ::GetOverlappedResult(m_server.get(), &m_overlapped, &got, TRUE);
            m_pending = false;
        }

    private:
        // Output past the limit is read and dropped, so that the command is
        // never blocked on a full pipe.
        void Take(DWORD got)
        {
            size_t room = kMaxTokenOutput - m_output.size();
            m_output.append(m_buffer, got < room ? got : room);
        }

        UniqueFile m_server;
        UniqueHandle m_event;
        OVERLAPPED m_overlapped {};
        char m_buffer[4096];
        std::string m_output;
        bool m_open = true;
        bool m_pending = false;
    };

    // Waits for the process to end, reading its output meanwhile. False when
    // the time ran out or the watcher is stopping.
    bool WaitForExit(HANDLE process, HANDLE stop, DWORD limit_ms, OutputPipe& pipe, std::string* why)
    {
        const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
        pipe.Read();
        for (;;) {
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
            HANDLE waits[3] = { process };
            DWORD count = 1;
            const DWORD output_at = pipe.pending() ? count++ : MAXDWORD;
            const DWORD stop_at = stop ? count++ : MAXDWORD;
            if (output_at != MAXDWORD)
                waits[output_at] = pipe.event();
            if (stop_at != MAXDWORD)
                waits[stop_at] = stop;
            const DWORD waited = ::WaitForMultipleObjects(count, waits, FALSE, left);
            if (waited == WAIT_OBJECT_0)
                return true;
            if (waited == WAIT_OBJECT_0 + output_at) {
                pipe.Complete();
                continue;
            }
            *why = waited == WAIT_OBJECT_0 + stop_at
                ? "the watcher is stopping"
                : "it did not finish within " + std::to_string(limit_ms / 1000) + " s";
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, 5000);
            return false;
        }
    }

} // namespace

bool RunTokenCommand(const std::string& command, HANDLE stop, DWORD limit_ms, std::string* token, std::string* why)
{
    token->clear();
    OutputPipe pipe;
    UniqueFile client;
    if (!pipe.Create(&client, why))
        return false;
    SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
    UniqueFile nul(::CreateFileA(
        "NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    if (!nul) {
        *why = ErrorText("CreateFile NUL failed");
        return false;
    }
    HANDLE inherited[] = { client.get(), nul.get() };
    InheritList list(inherited, 2);
    STARTUPINFOEXA startup {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nul.get();
    startup.StartupInfo.hStdOutput = client.get();
    startup.StartupInfo.hStdError = nul.get();
    startup.lpAttributeList = list.get();
    std::string line = command; // CreateProcess may write into it
    PROCESS_INFORMATION started {};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
            CREATE_NO_WINDOW | (list.get() ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr, nullptr, &startup.StartupInfo,
            &started)) {
        *why = "cannot start it: " + ErrorText("CreateProcess failed");
        return false;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    client.reset(); // the child's copy is the only writer left: its end is our end of file
    nul.reset();
    if (!WaitForExit(process.get(), stop, limit_ms, pipe, why))
        return false;
    // What it wrote before it ended is in the pipe already; a descendant that
    // still holds the pipe open is not waited for.
    while (pipe.pending() && pipe.Complete()) { }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    if (code != 0) {
        *why = "it exited with code " + std::to_string(code);
        return false;
    }
    return TokenFromOutput(pipe.output(), token, why);
}

} // namespace mail
