#include "window_harness.h"

#include "startup.h"

#include <QTest>

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

bool WindowHarness::loadAndShow() {
    if (!load()) return false;
    window_->show();
    return QTest::qWaitForWindowExposed(window_.get());
}

} // namespace lexivane::testing
