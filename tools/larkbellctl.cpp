// larkbellctl: reads and changes the shared new-mail count from a console,
// under the same names, layout and lock as the notifier.
#include <stdio.h>
#include <string.h>

#include "count_math.h"
#include "counter.h"
#include "ctl_watch.h"

namespace {

const char kUsage[] = "usage: larkbellctl get | set N | add N | reset | password NAME | secret NAME | check NAME | "
                      "login NAME [--device]\n";

enum class Command { Get, Set, Add, Reset };

bool ParseCommand(int argc, char** argv, Command* command, int32_t* number)
{
    if (argc == 2 && strcmp(argv[1], "get") == 0)
        *command = Command::Get;
    else if (argc == 2 && strcmp(argv[1], "reset") == 0)
        *command = Command::Reset;
    else if (argc == 3 && strcmp(argv[1], "set") == 0)
        *command = Command::Set;
    else if (argc == 3 && strcmp(argv[1], "add") == 0)
        *command = Command::Add;
    else {
        fputs(kUsage, stderr);
        return false;
    }
    if (argc == 3 && !ParseStrictInt32(argv[2], number)) {
        fprintf(stderr, "larkbellctl: not a 32-bit integer: %s\n", argv[2]);
        return false;
    }
    return true;
}

// Runs the command under one hold of the lock; FALSE when nothing could be
// stored.
BOOL Run(Command command, int32_t number, int32_t* count)
{
    switch (command) {
    case Command::Get:
        *count = ReadCountLocked();
        return TRUE;
    case Command::Set:
        *count = number;
        break;
    case Command::Add:
        *count = WrapAdd(ReadCountLocked(), number);
        break;
    case Command::Reset:
        *count = 0;
        break;
    }
    return WriteCountLocked(*count);
}

// The section lives only while some process holds it; a running notifier
// always does.
bool SectionHeldElsewhere()
{
    const fw::UniqueHandle section(::OpenFileMappingA(FILE_MAP_READ, FALSE, COUNTER_SECTION_NAME));
    return section.valid();
}

// The watcher's commands; -1 when the arguments name none of them.
int RunWatchCommand(int argc, char** argv)
{
    const char* verb = argc >= 3 ? argv[1] : "";
    const bool device = argc == 4 && strcmp(argv[3], "--device") == 0;
    const bool login = strcmp(verb, "login") == 0 && (argc == 3 || device);
    const bool known = login
        || (argc == 3 && (strcmp(verb, "password") == 0 || strcmp(verb, "secret") == 0 || strcmp(verb, "check") == 0));
    if (!known)
        return -1;
    if (!IsValidAccountName(argv[2])) {
        fprintf(stderr, "larkbellctl: not an account name: %s\n", argv[2]);
        return 2;
    }
    if (login)
        return RunLoginCommand(argv[2], device);
    if (strcmp(verb, "check") == 0)
        return RunCheckCommand(argv[2]);
    return RunPasswordCommand(argv[2], strcmp(verb, "secret") == 0 ? "client_secret" : "password");
}

} // namespace

int main(int argc, char** argv)
{
    const int watchResult = RunWatchCommand(argc, argv);
    if (watchResult >= 0)
        return watchResult;
    Command command = Command::Get;
    int32_t number = 0;
    // Each refusal says why in one line.
    if (!ParseCommand(argc, argv, &command, &number))
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
    printf("%ld\n", static_cast<long>(count));
    if (!kept && command != Command::Get)
        fputs("larkbellctl: no notifier is running, so the count is not kept after this command\n", stderr);
    return 0;
}
