#pragma once

#include "OsError.h"

#include <QLibrary>
#include <QString>

namespace fw {

// A shared library loaded at run time whose C entry points are looked up by name.
class Library {
public:
    Library() = default;
    explicit Library(const QString& fileName) { load(fileName); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() { unload(); }

    void load(const QString& fileName);     // throws LibraryError
    void unload();
    bool isLoaded() const { return lib_.isLoaded(); }
    QString fileName() const { return fileName_; }

    // The entry point's address; throws LibraryError naming it when it is missing.
    void* address(const char* name);
    template <class Fn>
    Fn resolve(const char* name) { return reinterpret_cast<Fn>(address(name)); }

private:
    QLibrary lib_;
    QString fileName_;
};

} // namespace fw
