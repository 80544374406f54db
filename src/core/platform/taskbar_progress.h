#pragma once

#include <cstdint>

namespace platform {

// The progress bar on a window's task-bar button (Windows' ITaskbarList3).
// Elsewhere, or where the shell does not offer it, every call does nothing.
// GUI thread only (the shell object lives in its COM apartment).
class TaskbarProgress final {
public:
    TaskbarProgress();
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress &) = delete;
    TaskbarProgress &operator=(const TaskbarProgress &) = delete;

    // `window` is the top-level window's native handle (HWND); `percent`
    // is 0..100.
    void show(std::uintptr_t window, int percent);
    // Takes the bar off the button.
    void clear(std::uintptr_t window);

private:
    void *m_taskbar = nullptr;
};

} // namespace platform
