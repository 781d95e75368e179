#pragma once

// The error report and the rule every command handler follows: each numbered step
// runs guarded; a failure shows one report naming the handler and the step, and
// the handler goes on with its next step.

#include "shell/apperror.h"
#include "shell/desktop.h"

#include <QString>
#include <exception>
#include <functional>
#include <new>
#include <utility>

namespace lexivane {

QString errorReportText(const QString& description, const QString& literal, int step);

// Tests: a hook asked before every step; true makes that step fail.
using StepFaultHook = std::function<bool(const QString& handler, int step)>;
void setStepFaultHook(StepFaultHook hook);

class Steps {
  public:
    // literal: the handler's procedure path, "in <project>.<window>.<handler> ".
    Steps(Desktop& desktop, QString literal);

    // Runs one step; on failure shows the report and returns false.
    template <class F> bool run(int step, F&& body) {
        try {
            enter(step);
            std::forward<F>(body)();
            return true;
        } catch (const ProgramEnded&) {
            throw;
        } catch (...) {
            report(step, std::current_exception());
            return false;
        }
    }

    // A test guarding what follows: the condition, or `onFailure` when evaluating it
    // failed (reported), so a failing test enters the block it guards.
    template <class F> bool test(int step, F&& condition, bool onFailure = true) {
        bool result = onFailure;
        run(step, [&] { result = std::forward<F>(condition)(); });
        return result;
    }

    const QString& handlerName() const { return handler_; }

  private:
    void enter(int step);
    void report(int step, std::exception_ptr failure);

    Desktop& desktop_;
    QString literal_;
    QString handler_;
};

} // namespace lexivane
