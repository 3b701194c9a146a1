// CSV files opened as recipient databases, read back through the SQLite
// driver as every statement reads them: one table, a row per record.
#include "connection_strings.h"
#include "recipient_connection.h"
#include "single_query.h"
#include "gtest_qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

struct CsvCase {
    const char *name;
    QByteArray bytes;
    // The field names, then every row, values between "|", null as "~";
    // or the message that refuses the file.
    QString expected;
};

// The whole table as one text, in the form of CsvCase::expected.
QString tableText(RecipientConnection &connection, const QString &table, QString &error)
{
    const std::unique_ptr<RecordSnapshot> rows = connection.openSnapshot(QStringLiteral("Select * From [%1]").arg(table), error);
    QStringList lines{rows ? rows->fieldNames().join(u'|') : error};
    for (; rows && !rows->atEnd(); rows->moveNext()) {
        QStringList values;
        for (int field = 0; field < rows->fieldCount(); ++field)
            values << rows->value(field).value_or(QStringLiteral("~"));
        lines << values.join(u'|');
    }
    return lines.join(u'\n');
}

TEST(CsvFile, OpensAsOneTableOrIsRefusedNamingTheLine)
{
    const QString bad = QStringLiteral("Arxiu CSV mal format a la línia ");
    const CsvCase cases[] = {
        {"quotes, doubled quotes, line ends inside quotes", "Nom,Nota\r\n\"Puig, Anna\",\"diu \"\"hola\"\"\r\nadéu\nara\"\r\nx\"y,z\r\n",
         "Nom|Nota\nPuig, Anna|diu \"hola\"\r\nadéu\nara\nx\"y|z"},
        {"semicolon, commas only inside quotes", "\"Nom, complet\";Correu\nRos, Pau;p@x\n", "Nom, complet|Correu\nRos, Pau|p@x"},
        {"tab", "A\tB\tC,D\n1\t2\t3,4\n", "A|B|C,D\n1|2|3,4"},
        {"a lone CR ends lines, no line end at the end", "A;B\r1;2\r3;4", "A|B\n1|2\n3|4"},
        {"blank lines skipped", "\r\n\nA,B\r\n  \r\n1,2\n\n\r\r\n3,4\n \n\n", "A|B\n1|2\n3|4"},
        {"empty fields are empty, absent ones null", "A,B,C\n,\"\",\nx\n\"\"\n", "A|B|C\n||\nx|~|~\n|~|~"},
        {"UTF-8 with its byte-order mark", "\xEF\xBB\xBFNom,Ciutat\nÀngels,Lleida\n", "Nom|Ciutat\nÀngels|Lleida"},
        {"UTF-8 without it", "Nom\nJosé Pérez\n€ i “cometes”\n", "Nom\nJosé Pérez\n€ i “cometes”"},
        {"Windows-1252, its first letter beyond ASCII far down", "Nom;Preu\n" + QByteArray("a;1\n").repeated(30000) + "Pere \xC0lvarez;5 \x80\n",
         "Nom|Preu\n" + QStringLiteral("a|1\n").repeated(30000) + "Pere Àlvarez|5 €"},
        {"a quote left open", "A,B\n\"x\ny\",1\n\"obert,2\n3,4\n", bad + "4: les cometes obertes no es tanquen"},
        {"more fields than the header", "A,B\n1,2\n\"x\ny\",2,3\n", bad + "3: té 3 camps i la capçalera en té 2"},
        {"text after a closing quote", "A,B\n\"x\"y,1\n", bad + "2: hi ha text després de les cometes que tanquen un camp"},
        {"a byte-order mark on text that is not UTF-8", "\xEF\xBB\xBFNom\nok\n\nPere \xC0lvarez\n", bad + "4: el text no és UTF-8"},
        {"a header field without a name", "\nA,,C\n", bad + "2: el camp 2 de la capçalera no té nom"},
        {"a header name used twice", "Nom,Correu,nom\n", bad + "1: el nom de camp «nom» es repeteix"},
        {"an empty file", "", bad + "1: no hi ha la fila de capçalera amb els noms dels camps"},
        {"a record beyond 1 MiB", "A\n\"" + QByteArray(1100000, 'x'), bad + "2: el registre fa més d'1 MiB"},
    };
    for (const CsvCase &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Socis 2024.csv"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.bytes) == c.bytes.size());
        file.close();

        RecipientConnection connection;
        QString error;
        if (!connection.open(connectionStringFor(path), error)) {
            EXPECT_EQ(error, c.expected);
            continue;
        }
        const QString table = QStringLiteral("Socis 2024");
        EXPECT_EQ(connection.tableNames(error), QStringList{table});
        EXPECT_EQ(tableText(connection, table, error), c.expected);
        // Only read, as every source: its statements are single queries and its file is left as it was.
        EXPECT_FALSE(connection.openSnapshot(QStringLiteral("Delete From [%1]").arg(table), error));
        EXPECT_EQ(error, notASingleQueryMessage);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.bytes);
    }
}

} // namespace
