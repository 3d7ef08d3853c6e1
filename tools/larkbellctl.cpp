// larkbellctl: reads and changes the shared new-mail count from a console,
// under the same names, layout and lock as the notifier.
#include <stdio.h>
#include <string.h>

#include "counter/count_math.h"
#include "counter/counter.h"
#include "preview/recent_section.h"
#include "tools/ctl_watch.h"
#include "watch/core/command_line.h"
#include "watch/shell/watch_settings.h"

namespace {

const char kUsage[] = "usage: larkbellctl get | set N | add N | reset | recent | password NAME | secret NAME | "
                      "check NAME | login NAME [--device] | status | pause MINUTES|off\n";

using mail::CtlVerb;

bool ParseNumber(int argc, char** argv, int32_t* number)
{
    if (argc == 3 && !ParseStrictInt32(argv[2], number)) {
        fprintf(stderr, "larkbellctl: not a 32-bit integer: %s\n", argv[2]);
        return false;
    }
    return true;
}

// Runs the command under one hold of the lock; FALSE when nothing could be
// stored.
BOOL Run(CtlVerb command, int32_t number, int32_t* count)
{
    switch (command) {
    case CtlVerb::Get:
        *count = ReadCountLocked();
        return TRUE;
    case CtlVerb::Set:
        *count = number;
        break;
    case CtlVerb::Add:
        *count = WrapAdd(ReadCountLocked(), number);
        break;
    default: // reset: the watcher's verbs never get here
        *count = 0;
        break;
    }
    return WriteCountLocked(*count);
}

// The section lives only while some process holds it; a running notifier
// always does.
bool SectionHeldElsewhere()
{
    const win32::UniqueHandle section(::OpenFileMappingA(FILE_MAP_READ, FALSE, COUNTER_SECTION_NAME));
    return section.valid();
}

// The watcher's commands: the account name is checked first.
int RunWatchCommand(CtlVerb verb, const char* account)
{
    if (!IsValidAccountName(account)) {
        fprintf(stderr, "larkbellctl: not an account name: %s\n", account);
        return 2;
    }
    switch (verb) {
    case CtlVerb::Login:
    case CtlVerb::LoginDevice:
        return RunLoginCommand(account, verb == CtlVerb::LoginDevice);
    case CtlVerb::Check:
        return RunCheckCommand(account);
    default:
        return RunPasswordCommand(account, verb == CtlVerb::Secret ? mail::kClientSecretKey : mail::kPasswordKey);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const CtlVerb command = mail::ParseCtlVerb(argc, argv);
    if (command == CtlVerb::Password || command == CtlVerb::Secret || command == CtlVerb::Check
        || command == CtlVerb::Login || command == CtlVerb::LoginDevice)
        return RunWatchCommand(command, argv[2]);
    if (command == CtlVerb::Recent)
        return RunRecentCommand();
    if (command == CtlVerb::Status)
        return RunStatusCommand();
    if (command == CtlVerb::Pause)
        return RunPauseCommand(argv[2]);
    int32_t number = 0;
    // Each refusal says why in one line.
    if (command == CtlVerb::Usage) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (!ParseNumber(argc, argv, &number))
        return 2;
    const CounterLock lock;
    if (!lock.held()) {
        fprintf(stderr, "larkbellctl: the count is locked by another process (waited %lu ms)\n",
            static_cast<unsigned long>(COUNTER_WAIT_MS));
        return 1;
    }
    const bool kept = SectionHeldElsewhere();
    int32_t count = 0;
    if (!Run(command, number, &count)) {
        fputs("larkbellctl: the count could not be stored\n", stderr);
        return 1;
    }
    // The senders and subjects belong to the messages the count held.
    if (count == 0 && command != CtlVerb::Get)
        preview::ClearRecent();
    printf("%ld\n", static_cast<long>(count));
    if (!kept && command != CtlVerb::Get)
        fputs("larkbellctl: no notifier is running, so the count is not kept after this command\n", stderr);
    return 0;
}
