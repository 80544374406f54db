#include "core/platform/taskbar_progress.h"

// Desktops without a task-bar progress of their own.
namespace platform {

TaskbarProgress::TaskbarProgress() = default;
TaskbarProgress::~TaskbarProgress() = default;
void TaskbarProgress::show(std::uintptr_t, int) {}
void TaskbarProgress::clear(std::uintptr_t) {}

} // namespace platform
