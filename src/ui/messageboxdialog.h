#pragma once

namespace vorn {

// Routes every message box of the program to a modal QMessageBox.
void InstallMessageBoxDialog();

} // namespace vorn
