#include "dialog/dialog.h"

// The dialog is not built yet: interactive mode ends at once.
void RunSettingsDialog()
{
}
