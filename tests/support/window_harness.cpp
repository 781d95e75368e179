#include "window_harness.h"

#include "shell/startup.h"

namespace lexivane::testing {

WindowHarness::WindowHarness(const QStringList& words)
    : Fixture(words), window_(std::make_unique<Form1>(context())) {}

WindowHarness::~WindowHarness() {
    window_.reset();
}

bool WindowHarness::load() {
    try {
        Startup::Form_Load(window_->form());
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

} // namespace lexivane::testing
