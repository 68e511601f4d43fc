#include "Library.h"

namespace fw {

void Library::load(const QString& fileName)
{
    unload();
    fileName_ = fileName;
    lib_.setFileName(fileName);
    if (!lib_.load())
        throw LibraryError(QString("Не удалось загрузить библиотеку \"%1\": %2").arg(fileName, lib_.errorString()));
}

void Library::unload()
{
    if (lib_.isLoaded())
        lib_.unload();
}

void* Library::address(const char* name)
{
    if (!lib_.isLoaded())
        throw LibraryError(QString("Библиотека \"%1\" не загружена").arg(fileName_));
    const QFunctionPointer fn = lib_.resolve(name);
    if (!fn)
        throw LibraryError(QString("В библиотеке \"%1\" нет функции %2").arg(fileName_, QString::fromLatin1(name)));
    return reinterpret_cast<void*>(fn);
}

} // namespace fw
