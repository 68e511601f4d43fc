#pragma once

#include <QString>

class QWidget;

namespace fw {

class DataSet;
class FieldDataLink;

// The data link of a data-aware control; nullptr for any other widget.
FieldDataLink* dataLinkOf(QWidget* control);

// The caption a window shows for a control: the label whose buddy it is, the
// label before it in its form, grid or row, the title of a group box that holds
// it alone, a check box's own text. Empty when the window shows none.
QString controlCaption(const QWidget* control);

// A field as the user knows it: the title a grid column gave it, else the
// caption of a data-aware control bound to it in a window; its name otherwise.
QString fieldCaption(const DataSet& ds, const QString& fieldName);

// The text control of the window the user works in whose text holds the
// character (a search value the database refused); nullptr when none does.
QWidget* controlHoldingText(const QString& character);

} // namespace fw
