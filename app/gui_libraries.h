// The window and drawing libraries are delay-loaded, so that a start that
// only adds to the count exits without loading them.
#pragma once

// Loads them once the process knows it is the notifier. False when one is
// missing: the notifier then ends at once instead of failing at its first
// call. They stay loaded for the life of the process, as imports would.
bool LoadGuiLibraries();
