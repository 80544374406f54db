#pragma once

namespace platform {

// Ends the process at once with `status`: no destructors, no exit handlers,
// nothing of the window's close. On Windows the process is terminated rather
// than exited: an exit runs every DLL's detach code after the other threads
// were stopped wherever they stood, and one that held a lock (a network
// thread loading a library, say) leaves the exit waiting for it forever.
[[noreturn]] void end_now(int status);

} // namespace platform
