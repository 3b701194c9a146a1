#pragma once

#include <QString>

namespace tramelo {

// A count with the word that agrees with it: "1 missatge", "0 missatges",
// "2 missatges".
QString countedText(qint64 count, const QString &singular, const QString &plural);

} // namespace tramelo
