// The running watcher: one thread per (account, folder) connection, the main
// thread waiting for a stop request while it dispatches the power broadcasts
// and takes a changed settings file.
#pragma once

namespace mail {

// Runs until --stop; the process exit code.
int RunWatcher();

} // namespace mail
