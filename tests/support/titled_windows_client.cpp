#include "titled_windows_client.h"

#include <stdio.h>
#include <stdlib.h>

namespace test {

namespace {

    constexpr UINT WM_FLUSH = WM_APP + 1;

    std::string TempFile(const char* stem)
    {
        static LONG serial = 0;
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%slbt-%s-%lu-%ld.txt", temp, stem, ::GetCurrentProcessId(),
            ::InterlockedIncrement(&serial));
        return path;
    }

    // Shared for deletion too, so that the helper can replace the file meanwhile.
    std::string ReadText(const std::string& path)
    {
        std::string bytes;
        const HANDLE opened
            = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            return bytes;
        const fw::UniqueHandle file(opened);
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
            bytes.append(buffer, n);
        return bytes;
    }

    // Records and the flush serial; empty records unless the file is complete.
    std::vector<WindowRecord> ParseRecord(const std::string& text, unsigned long long* flush)
    {
        std::vector<WindowRecord> records;
        if (text.compare(0, 6, "ready\n") != 0)
            return records;
        size_t start = 6;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                return {};
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            if (sscanf(line.c_str(), "flush=%llu", flush) == 1)
                return records;
            unsigned index = 0;
            unsigned long long hwnd = 0;
            char state[16] = {};
            WindowRecord record;
            if (sscanf(line.c_str(), "%u %llx %15s activations=%d lastact=%d restores=%d shows=%d", &index, &hwnd,
                    state, &record.activations, &record.lastActivation, &record.restores, &record.shows)
                != 7)
                return {};
            record.hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(hwnd));
            record.state = state;
            records.push_back(record);
        }
        return {};
    }

} // namespace

TitledWindows::TitledWindows(const std::vector<WindowSetup>& windows)
    : m_listPath(TempFile("windows"))
    , m_recordPath(TempFile("record"))
    , m_count(windows.size())
{
    std::string list;
    for (const WindowSetup& window : windows)
        list += window.state + "\t" + window.title + "\n";
    FILE* file = fopen(m_listPath.c_str(), "wb");
    if (!file)
        return;
    fwrite(list.data(), 1, list.size(), file);
    fclose(file);
    m_process = Process::Start(
        "\"" + ProgramDir() + "\\tests\\titled_windows.exe\" \"" + m_listPath + "\" \"" + m_recordPath + "\"");
    WaitFor([&] {
        m_records = Latest();
        return m_records.size() == m_count || !m_process.Running();
    });
}

TitledWindows::~TitledWindows()
{
    m_process.Kill();
    ::DeleteFileA(m_listPath.c_str());
    ::DeleteFileA(m_recordPath.c_str());
    ::DeleteFileA((m_recordPath + ".new").c_str());
}

std::vector<WindowRecord> TitledWindows::Latest() const
{
    unsigned long long flush = 0;
    return ParseRecord(ReadText(m_recordPath), &flush);
}

std::vector<WindowRecord> TitledWindows::Settled()
{
    if (!ready())
        return {};
    const WPARAM serial = ++m_flushSerial;
    ::PostMessageA(m_records.front().hwnd, WM_FLUSH, serial, 0);
    std::vector<WindowRecord> records;
    const bool flushed = WaitFor([&] {
        unsigned long long flush = 0;
        records = ParseRecord(ReadText(m_recordPath), &flush);
        return flush == serial;
    });
    return flushed ? records : std::vector<WindowRecord> {};
}

} // namespace test
