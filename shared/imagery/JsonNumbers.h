#pragma once
// Qt's JSON reader refuses a whole document for one number too large for a double (1e400). Documents
// from the network are read leniently: such a number reads as null, so the one field holding it is
// absent and everything else stands.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace JsonNumbers {
// QJsonDocument::fromJson, except that numbers beyond the range of a double read as null.
QJsonDocument parse(const QByteArray& bytes, QJsonParseError* error);
} // namespace JsonNumbers
