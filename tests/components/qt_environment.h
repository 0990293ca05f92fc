// The components' test programs: the plain Qt application environment.
#pragma once

#include "qt_test_app.h"

namespace tunelo::test {

inline ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace tunelo::test
