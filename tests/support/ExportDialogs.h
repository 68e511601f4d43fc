#pragma once

#include "reports/SelectColumnForm.h"
#include "reports/fmExportTo.h"
#include "support/WhenShown.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

// The answers to the export service's dialogs; only for programs linked with the reports.
namespace testing_support {

// The target dialog answered with a text file.
inline void chooseTextFile(const QString& fileName)
{
    whenShown<TfmExportTo>([fileName](TfmExportTo* d) {
        d->rb2->setChecked(true);
        d->edPath->setText(fileName);
        d->btnOK->click();
    });
}

// The target dialog answered with its default, the spreadsheet.
inline void chooseSpreadsheet()
{
    whenShown<TfmExportTo>([](TfmExportTo* d) { d->btnOK->click(); });
}

// The column choice answered with every column kept.
inline void keepAllColumns()
{
    whenShown<TSelectColumnForm>([](TSelectColumnForm* d) { d->btnOK->click(); });
}

// The column choices one after the other: each expected caption, every column kept.
inline void keepColumns(QStringList captions)
{
    if (captions.isEmpty()) return;
    whenShown<TSelectColumnForm>([captions](TSelectColumnForm* d) mutable {
        EXPECT_EQ(d->windowTitle(), "Выбор столбцов - " + captions.takeFirst());
        d->btnOK->click();
        keepColumns(captions);
    });
}

} // namespace testing_support
