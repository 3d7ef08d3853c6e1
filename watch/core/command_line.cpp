#include "watch/core/command_line.h"

#include <string.h>

namespace mail {

namespace {

    struct CtlSyntax {
        const char* verb;
        int operands;
        CtlVerb id;
        const char* option = nullptr; // the last operand, word for word
    };

    constexpr CtlSyntax kCtlSyntax[] = {
        { "get", 0, CtlVerb::Get },
        { "set", 1, CtlVerb::Set },
        { "add", 1, CtlVerb::Add },
        { "reset", 0, CtlVerb::Reset },
        { "recent", 0, CtlVerb::Recent },
        { "password", 1, CtlVerb::Password },
        { "secret", 1, CtlVerb::Secret },
        { "check", 1, CtlVerb::Check },
        { "login", 1, CtlVerb::Login },
        { "login", 2, CtlVerb::LoginDevice, "--device" },
        { "status", 0, CtlVerb::Status },
        { "pause", 1, CtlVerb::Pause },
    };

} // namespace

WatchAction ParseWatchArguments(int argc, const char* const* argv)
{
    if (argc == 1)
        return WatchAction::Run;
    if (argc == 2 && strcmp(argv[1], "--stop") == 0)
        return WatchAction::Stop;
    if (argc == 3 && strcmp(argv[1], "--autostart") == 0) {
        if (strcmp(argv[2], "on") == 0)
            return WatchAction::AutostartOn;
        if (strcmp(argv[2], "off") == 0)
            return WatchAction::AutostartOff;
    }
    return WatchAction::Usage;
}

CtlVerb ParseCtlVerb(int argc, const char* const* argv)
{
    for (const CtlSyntax& syntax : kCtlSyntax) {
        if (argc == 2 + syntax.operands && strcmp(argv[1], syntax.verb) == 0
            && (!syntax.option || strcmp(argv[argc - 1], syntax.option) == 0))
            return syntax.id;
    }
    return CtlVerb::Usage;
}

} // namespace mail
