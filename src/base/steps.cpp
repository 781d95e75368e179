#include "steps.h"

#include "config.h"

#include <new>

namespace lexivane {

namespace {
QString describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AppError& e) {
        return e.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected failure");
    }
}
} // namespace

QString errorReportText(const QString& description, const QString& literal, int step) {
    return description + QStringLiteral("\r\n") + literal + QStringLiteral("at line ") +
           QString::number(step) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QStringLiteral(LEXIVANE_SUPPORT_EMAIL);
}

Steps::Steps(Desktop& desktop, QString literal, StepFaultHook faultHook)
    : desktop_(desktop), literal_(std::move(literal)), faultHook_(std::move(faultHook)) {
    // "in Vandrel2021/08/31.Form1.PushButton1_Click " -> "PushButton1_Click"
    const QString trimmed = literal_.trimmed();
    handler_ = trimmed.mid(trimmed.lastIndexOf(QLatin1Char('.')) + 1);
}

void Steps::enterHooked(int step) {
    if (faultHook_(handler_, step)) throw AppError(QStringLiteral("Injected failure"));
}

void Steps::report(int step, const std::exception_ptr& failure) {
    desktop_.messageBox(errorReportText(describe(failure), literal_, step), MsgExclamation,
                        QStringLiteral("Application Error"));
}

} // namespace lexivane
