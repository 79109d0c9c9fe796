// The machine-wide uninstall entry "Ordavin", so that the system's list of installed software can start
// the product's uninstaller.
#pragma once

// Writes "DisplayName" and "UninstallString" (UNINSTALLER unchanged). Silent on failure.
void register_uninstall(const char* uninstaller);
