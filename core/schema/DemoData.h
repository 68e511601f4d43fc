#pragma once

#include "Schema.h"

namespace schema {

// Adds closed deals with goods lines and exactly `payments` payments, dated
// over the two years before the demo's fixed day at hours of the working day,
// to a quarter of the clients already there (a demo database). The same seed
// gives the same rows on a database of the same content. Progress counts payments.
void fillPayments(fw::Database& db, int payments, quint32 seed, const DemoProgress& progress = {});

} // namespace schema
