#pragma once

#include <QString>

namespace tq3::test {

// Folder holding the built programs (drivers, stand-in, client).
QString binDir();

} // namespace tq3::test
