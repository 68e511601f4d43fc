#pragma once

#include <QString>

namespace fw {

// The program's version, "1.7.0.39", fixed by the build.
QString appVersion();
// The operating system as the user would name it, with its kernel.
QString osVersionText();

} // namespace fw
