#include "core/platform/taskbar_progress.h"

#include <windows.h>
#include <shobjidl.h>

#include <algorithm>

namespace platform {

namespace {

ITaskbarList3 *taskbar(void *object)
{
    return static_cast<ITaskbarList3 *>(object);
}

} // namespace

TaskbarProgress::TaskbarProgress()
{
    // The GUI thread is in Qt's apartment already; without the shell's
    // object (an old or stripped-down shell) the calls do nothing.
    ITaskbarList3 *object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void **>(&object))) || !object)
        return;
    if (FAILED(object->HrInit())) {
        object->Release();
        return;
    }
    m_taskbar = object;
}

TaskbarProgress::~TaskbarProgress()
{
    if (m_taskbar)
        taskbar(m_taskbar)->Release();
}

void TaskbarProgress::show(std::uintptr_t window, int percent)
{
    if (!m_taskbar || !window)
        return;
    const HWND hwnd = reinterpret_cast<HWND>(window);
    taskbar(m_taskbar)->SetProgressState(hwnd, TBPF_NORMAL);
    taskbar(m_taskbar)->SetProgressValue(hwnd, static_cast<ULONGLONG>(std::clamp(percent, 0, 100)), 100);
}

void TaskbarProgress::clear(std::uintptr_t window)
{
    if (!m_taskbar || !window)
        return;
    taskbar(m_taskbar)->SetProgressState(reinterpret_cast<HWND>(window), TBPF_NOPROGRESS);
}

} // namespace platform
