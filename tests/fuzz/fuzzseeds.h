#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tovra::test::seeds {

// Valid replies of the site, one or two per record (by the record's name): the starting points
// of the mutation run. Every one of them reads without error.
QList<QByteArray> records(const char *name);
// Tokens that mean something to one reader or helper or other, dropped in at random places.
QList<QByteArray> jsonTokens();
QList<QString> textTokens();

}
