#include "settings/settings_dialog.h"

void RunSettingsDialog() {}
