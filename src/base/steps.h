#pragma once

// The error report and the rule every command handler follows: each numbered step
// runs guarded; a failure shows one report naming the handler and the step, and
// the handler goes on with its next step.

#include "apperror.h"
#include "desktop.h"

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace lexivane {

// Each handler's procedure path: the text its report shows before "at line ".
namespace Handler {
inline QString formProcedure(QLatin1StringView name) {
    return QStringLiteral("in Vandrel2021/08/31.Form1.") + name + u' ';
}
inline const QString Form_Load = formProcedure(QLatin1StringView("Form_Load"));
inline const QString Form_QueryUnload = formProcedure(QLatin1StringView("Form_QueryUnload"));
inline const QString PushButton1_Click = formProcedure(QLatin1StringView("PushButton1_Click"));
inline const QString PushButton2_Click = formProcedure(QLatin1StringView("PushButton2_Click"));
inline const QString PushButton3_Click = formProcedure(QLatin1StringView("PushButton3_Click"));
inline const QString PushButton4_Click = formProcedure(QLatin1StringView("PushButton4_Click"));
inline const QString PushButton5_Click = formProcedure(QLatin1StringView("PushButton5_Click"));
inline const QString PushButton6_Click = formProcedure(QLatin1StringView("PushButton6_Click"));
} // namespace Handler

QString errorReportText(const QString& description, const QString& literal, int step);

// Tests: asked before every step with the handler's name ("PushButton1_Click") and the
// step number; true makes that step fail.
using StepFaultHook = std::function<bool(const QString& handler, int step)>;

class Steps {
  public:
    // literal: one of the Handler paths.
    Steps(Desktop& desktop, QString literal, StepFaultHook faultHook = {});

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
    // Only tests set a hook; without one a step costs no call.
    void enter(int step) {
        if (faultHook_) enterHooked(step);
    }
    void enterHooked(int step);
    void report(int step, const std::exception_ptr& failure);

    Desktop& desktop_;
    QString literal_;
    QString handler_;
    StepFaultHook faultHook_;
};

} // namespace lexivane
