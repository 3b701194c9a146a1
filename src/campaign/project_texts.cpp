#include "project_texts.h"

#include "text_charset.h"
#include "windows1252.h"

namespace tramelo {
namespace {

struct TextField {
    const char *key;
    QString ProjectRecord::*field;
};

constexpr TextField recordTexts[] = {
    {"text.senderAddress", &ProjectRecord::senderAddress},
    {"text.senderName", &ProjectRecord::senderName},
    {"text.smtpServer", &ProjectRecord::smtpServer},
    {"text.loginUser", &ProjectRecord::loginUser},
    {"text.loginPassword", &ProjectRecord::loginPassword},
    {"text.databaseSource", &ProjectRecord::databaseSource},
    {"text.tableOrStatement", &ProjectRecord::tableOrStatement},
    {"text.addressField", &ProjectRecord::addressField},
    {"text.messageSubject", &ProjectRecord::messageSubject},
    {"text.bodySource", &ProjectRecord::bodySource},
    {"text.fieldDelimiterLeft", &ProjectRecord::fieldDelimiterLeft},
    {"text.fieldDelimiterRight", &ProjectRecord::fieldDelimiterRight},
    {"text.attachmentList", &ProjectRecord::attachmentList},
    {"text.tableQuoteLeft", &ProjectRecord::tableQuoteLeft},
    {"text.tableQuoteRight", &ProjectRecord::tableQuoteRight},
};

} // namespace

ProjectExtension exactTextsOf(const ProjectRecord &record)
{
    ProjectExtension entries;
    for (const TextField &text : recordTexts) {
        const QString &value = record.*text.field;
        if (fromWindows1252(toWindows1252(value)) != value)
            entries.insert(QByteArray(text.key), value.toUtf8());
    }
    return entries;
}

void putBackExactTexts(ProjectRecord &record, const ProjectExtension &entries)
{
    for (const TextField &text : recordTexts) {
        const auto entry = entries.constFind(QByteArray(text.key));
        if (entry == entries.cend())
            continue;
        const std::optional<QString> exact = strictUtf8(*entry);
        QString &value = record.*text.field;
        if (exact && toWindows1252(*exact) == toWindows1252(value))
            value = *exact;
    }
}

} // namespace tramelo
