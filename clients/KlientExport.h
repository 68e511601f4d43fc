#pragma once

#include <QPointer>
#include <functional>

class QWidget;

namespace fw {
class DBGrid;
}

// The exports of the clients window. They work on dmKl (the client selection
// and the card's detail sets) through the grids that show them, so the column
// choice and the titles are the grids' own.

// The client list, with or without contact persons: the list page's export
// button. showContacts makes the card and its contacts sub-page the active
// pages and opens the card's details; without it the contact set is opened
// here. An empty client list exports nothing.
void ExportKlientList(fw::DBGrid* dbgCust, fw::DBGrid* dbgContacts,
                      const std::function<void()>& showContacts = {});

// The calendar grid: the calendar's export button.
void ExportKlientCalendar(fw::DBGrid* dbgCal);

// The grids of the card's sections, in the order the detailed export writes them.
struct TKlientDetalGrids {
    fw::DBGrid* dbgCust = nullptr;       // "Компания"
    fw::DBGrid* dbgHist = nullptr;       // "История"
    fw::DBGrid* dbgPlan = nullptr;       // "Планы"
    fw::DBGrid* dbgContacts = nullptr;   // "Контактные лица"
    fw::DBGrid* dbgSales = nullptr;      // "Товар"
    fw::DBGrid* dbgSdelka = nullptr;     // "Сделки"
    fw::DBGrid* dbgDog = nullptr;        // "Договора"
};

// "Детальный экспорт...": the current client, or every client of the list
// with "Всю выборку". The choice dialog is created on first use with the
// clients window as owner and kept, with its check marks, while it lives.
void ExportKlientDetal(QWidget* owner, const TKlientDetalGrids& grids);
