// The configuration dialog of interactive mode.
#pragma once

// Shows the dialog and runs its message loop until it is closed.
void RunSettingsDialog();
