// SPDX-License-Identifier: MIT
// Zib! in a web page: the game's own forms on the web backend.
#include "duel/frmzib.h"
#include "forms/web/driver.h"

int main()
{
    // Both live as long as the page: the program goes on after main returns,
    // driven by the page's events and timers.
    static forms::Runtime runtime;
    static forms::web::Driver driver(runtime);
    runtime.start<duel::frmzib>();
    driver.start();
    return 0;
}
