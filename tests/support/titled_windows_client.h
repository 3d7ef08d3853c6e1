// Windows of another process with chosen titles and states (the
// titled_windows helper), and what has happened to them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"

namespace test {

struct WindowSetup {
    // normal, minimised, maximised or hidden; "+reminimise" makes the window
    // minimise itself again whenever it is restored.
    std::string state;
    // Code page 932.
    std::string title;
};

struct WindowRecord {
    HWND hwnd = nullptr;
    std::string state;
    int activations = 0;
    // Orders activations across the helper's windows; 0 for none.
    int lastActivation = 0;
    // Changes into the normal shown state from any other.
    int restores = 0;
    int shows = 0;
};

class TitledWindows {
public:
    explicit TitledWindows(const std::vector<WindowSetup>& windows);
    TitledWindows(const TitledWindows&) = delete;
    TitledWindows& operator=(const TitledWindows&) = delete;
    ~TitledWindows();

    // True once every window is in its first state.
    bool ready() const { return m_records.size() == m_count; }
    HWND hwnd(size_t index) const { return m_records[index].hwnd; }
    // The record as the helper last wrote it.
    std::vector<WindowRecord> Latest() const;
    // The record once the helper has handled everything sent to it so far.
    std::vector<WindowRecord> Settled();

private:
    std::string m_listPath;
    std::string m_recordPath;
    size_t m_count;
    Process m_process;
    std::vector<WindowRecord> m_records;
    WPARAM m_flushSerial = 0;
};

} // namespace test
