#pragma once
// Where Linux declares getrandom: on Windows the recorder's own (PosixFiles_win32.h), for the
// Windows build only (its include path has apps/recorder/win32 for kelta_recorder).
#include "apps/recorder/PosixFiles_win32.h"
