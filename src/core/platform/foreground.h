#pragma once

namespace platform {

// Lets any process bring its window to the front, as this one (just started
// by the user) may. Windows only; elsewhere nothing to do.
void allow_any_foreground();

} // namespace platform
