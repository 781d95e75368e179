#pragma once

#include <QString>
#include <stdexcept>

namespace lexivane {

// A failure with the description the error report shows. Anything a handler step
// throws ends up in the report; this type carries a ready-made text.
class AppError : public std::runtime_error {
  public:
    explicit AppError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

  private:
    QString description_;
};

} // namespace lexivane
