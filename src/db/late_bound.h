#pragma once

// The window code holds data objects as plain objects and reaches their members by
// name; a missing object or one of the wrong kind fails as such a call would.

#include "ado.h"

#include <memory>

namespace lexivane::ado {

template <class T> T& as(Object* object) {
    if (!object) throw AppError(QStringLiteral("Object variable or With block variable not set"));
    auto* typed = dynamic_cast<T*>(object);
    if (!typed) throw AppError(QStringLiteral("Object doesn't support this property or method"));
    return *typed;
}

template <class T> T& as(const std::unique_ptr<Object>& object) {
    return as<T>(object.get());
}

} // namespace lexivane::ado
