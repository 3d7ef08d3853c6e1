// The command lines of larkbellwatch and larkbellctl: which action the words
// name. Shared by the programs and by the test that holds the guide to them.
#pragma once

namespace mail {

enum class WatchAction { Run, Stop, AutostartOn, AutostartOff, Usage };

// larkbellwatch [--stop | --autostart on|off]
WatchAction ParseWatchArguments(int argc, const char* const* argv);

enum class CtlVerb { Get, Set, Add, Reset, Recent, Password, Secret, Check, Login, LoginDevice, Status, Pause, Usage };

// larkbellctl get | set N | add N | reset | recent | password NAME |
// secret NAME | check NAME | login NAME [--device] | status |
// pause MINUTES|off. Only
// the verb and the number of operands; the operand itself is checked by the
// verb (argv[2]).
CtlVerb ParseCtlVerb(int argc, const char* const* argv);

} // namespace mail
