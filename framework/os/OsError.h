#pragma once

#include "db/DbError.h"

namespace fw {

// A file that cannot be opened, read, written or closed.
class FileError : public Error {
public:
    using Error::Error;
};

// Text that the code page cannot carry, or bytes it cannot read.
class EncodingError : public Error {
public:
    EncodingError(const QString& message, char32_t codePoint)
        : Error(message), codePoint_(codePoint) {}
    char32_t codePoint() const { return codePoint_; }
private:
    char32_t codePoint_;
};

// A run-time library or one of its entry points that cannot be loaded.
class LibraryError : public Error {
public:
    using Error::Error;
};

} // namespace fw
