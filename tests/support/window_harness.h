#pragma once

// The real main window on a program folder of its own, driven through the scripted
// desktop.

#include "form1.h"
#include "harness.h"

#include <memory>

namespace lexivane::testing {

struct WindowHarness : Fixture {
    explicit WindowHarness(const QStringList& words = kSomeWords);
    ~WindowHarness();

    bool load();        // the start-up; true when it did not end the program
    bool loadAndShow(); // load(), then the window shown on the screen
    Form1& window() { return *window_; }
    Form& form() { return window_->form(); }

    std::unique_ptr<Form1> window_;
};

} // namespace lexivane::testing
