// The shell's process-wide record, zero at start.
#include "app_state.h"

AppState app_state;
