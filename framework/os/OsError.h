#pragma once

#include "db/DbError.h"

namespace fw {

// A file that cannot be opened, read, written or closed.
class FileError : public Error {
public:
    using Error::Error;
};

// A run-time library or one of its entry points that cannot be loaded.
class LibraryError : public Error {
public:
    using Error::Error;
};

} // namespace fw
