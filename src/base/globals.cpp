#include "globals.h"

namespace lexivane::Globals {

std::unique_ptr<ado::Object> dbConnection;
QString savedCaption;
QString appTitle = productName;

void reset() {
    dbConnection.reset();
    savedCaption.clear();
    appTitle = productName;
}

} // namespace lexivane::Globals
