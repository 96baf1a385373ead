// SPDX-License-Identifier: MIT
#pragma once

#include "forms/runtime.h"

namespace duel {
class frmzib;
}

namespace results {

// A small borderless window that announces the outcome of a duel. It closes
// itself a second after it was loaded and hands the duel window back, idle.
class ResultWindow : public forms::Form {
protected:
    ResultWindow(forms::Runtime& runtime, const forms::FormDesign& design);

private:
    void Timer1_Timer();

    forms::Slot<duel::frmzib> frmzib{runtime()};
    forms::Control& Timer1 = control("Timer1");
};

// "You Win!!!", red on green.
class frmWin : public ResultWindow {
public:
    static const forms::FormDesign& design();
    explicit frmWin(forms::Runtime& runtime);
};

// "You Loose!!!", green on red: "Loose" is the game's own spelling, in its
// names and on screen alike.
class frmLoose : public ResultWindow {
public:
    static const forms::FormDesign& design();
    explicit frmLoose(forms::Runtime& runtime);
};

}  // namespace results
