#pragma once
// The backend that shows the model as real Win32 windows and common controls.
#include <memory>

#include "ui/Backend.h"

namespace ui::win32 {

std::unique_ptr<Backend> CreateWin32Backend();

}  // namespace ui::win32
