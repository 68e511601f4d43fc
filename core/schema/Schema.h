#pragma once

#include "db/Database.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace schema {

// The format the program accepts; 6 is the previous one, which the converter upgrades.
constexpr int CurrentFormat = 7;
constexpr int PreviousFormat = 6;

// Makes a new dialect-1 WIN1251 database at p.path (a file for the embedded engine,
// "host:path" for a server) with every table, key provider, trigger and fixed row
// of the format. Throws fw::Error for a format other than 6 or 7, fw::DbError when
// the engine refuses (an existing file among others).
void createDatabase(const fw::ConnectParams& p, int format = CurrentFormat);

// The same objects and rows added to an empty database that db is connected to.
void createObjects(fw::Database& db, int format = CurrentFormat);

// Called after each committed batch with the clients written so far.
using DemoProgress = std::function<void(int done, int total)>;

// Adds generated sample data: users, departments and reference lists, then
// `clients` clients with their contacts, history, plans, contracts, groups, goods
// and deals. The same seed gives the same rows on a database of the same content.
void fillDemo(fw::Database& db, int clients, quint32 seed, const DemoProgress& progress = {});

} // namespace schema
