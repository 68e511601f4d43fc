#pragma once

#include <QDate>
#include <QString>

namespace fw {

// Removes what a failed write left behind: only a regular file (never a
// device, a folder or what a link points to). True when nothing is left.
bool removePartialFile(const QString& fileName);

// A new file name for a document the user is to find again: the title and the
// date, in the user's documents folder (the temporary folder when there is
// none), with " (2)", " (3)" ... added when the name is taken.
QString documentFileName(const QString& title, const QString& suffix, const QDate& date = QDate::currentDate());

// Makes a written document readable by the user's group, as any document is.
void shareWithGroup(const QString& fileName);

} // namespace fw
