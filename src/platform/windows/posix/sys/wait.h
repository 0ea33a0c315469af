// No process waits for another here (no worker process is started on
// Windows); waitpid is declared with the POSIX calls.
#pragma once
#include "platform/windows/posix_calls.h"
