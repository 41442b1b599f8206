#pragma once
#include "app/app_options.h"

// The whole program: options, application guard, splash, data module, main
// window, event loop. Returns the exit code.
int KestroLinkMain(int argc, char **argv);

// The start-up sequence after the options, with a running QApplication.
//
// For automated tests only: when KESTRO_TEST_SPLASH_CONTINUE_MS is set, the
// splash continues by itself after that many milliseconds, as if "Продолжить"
// had been pressed.
int RunKestroLink(const AppOptions &options);
